#pragma once
// The about and support page (page "关于" of the main window): its texts, its web links and the contact
// address that 按钮9 copies.
#include <windows.h>

#include <string>

// The site's host and the pages the page opens. Example values: the program has no real site.
constexpr const char* kSiteHost = "http://bbs.example.com";
constexpr const char* kThreadPath = "/read-htm-tid-495478-1-1.html";
constexpr const char* kForumHomePath = "//index.php";

// Spelled once as macros so the captions below can be literals built from them.
#define LANYING_SUPPORTER1 "清风徐来"
#define LANYING_SUPPORTER2 "墨影"
#define LANYING_CONTACT_ADDRESS "lanying-ad@example.com"

constexpr int kSupporterReferrals[2] = {10001, 10002};  // the forum's "fromuid" values
constexpr const char* kContactAddress = LANYING_CONTACT_ADDRESS;

// Captions of the page's labels and buttons.
constexpr const char* kCreditsTitle = "版权说明：";
constexpr const char* kCreditsNotice =
    "    岚影抓图由岚影工作室设计制作，界面、图标与插图均为工作室原创。\r\n"
    "\r\n"
    "    本软件为免费软件，欢迎在互联网上自由传播。";
constexpr const char* kSupportTitle = "支持我们：";
constexpr const char* kSupportText = "    您的每一个点击，都是对我们原创的一个鼓励";
constexpr const char* kAdTitle = "广告招租：";
constexpr const char* kCopyAddressCaption = "复制邮箱地址到剪贴板";

constexpr const char* kSupporterCaptions[2] = {"支持一下 " LANYING_SUPPORTER1, "支持一下 " LANYING_SUPPORTER2};
constexpr const char* kAdNotice =
    "    有意投放广告的请联系邮箱：" LANYING_CONTACT_ADDRESS "\r\n\r\n    详细要求可在邮件中说明";

std::string ThreadPageAddress();
std::string SupporterPageAddress(int index);

// Opens `address` in the web browser. Owned by the first top-level "Microsoft Internet Explorer" window, if
// any, as the browser of the day expected; the result is not examined.
void OpenWebPage(const std::string& address);

// Puts the contact address on the clipboard as CF_TEXT, then confirms with a message box, also when the
// clipboard could not be opened.
void CopyContactAddress();
