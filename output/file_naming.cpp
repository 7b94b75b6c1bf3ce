#include "output/file_naming.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <system_error>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Decimal exponent of the first significant digit of a number whose parse overflowed or underflowed, to
// tell the two apart. `mantissa` holds digits and at most one '.'.
long long DecimalMagnitude(std::string_view mantissa, long long exponent) {
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_not_of("0.");
    if (first == std::string_view::npos)
        return 0;  // all zeros: the value is 0 whatever the exponent
    const long long magnitude = first < point ? static_cast<long long>(point - first) - 1
                                              : -static_cast<long long>(first - point);
    return magnitude + exponent;
}

// The value of the decimal number at the start of `text`, 0 when it does not start with one.
double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t mantissaBegin = i;
    std::size_t digits = 0;
    while (i < n && IsDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0.0;
    const std::size_t mantissaEnd = i;
    std::size_t end = i;
    long long exponent = 0;
    // An exponent counts only when complete: "1e" and "1e+" are the number 1 followed by text.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        const std::size_t exponentBegin = j;
        while (j < n && IsDigit(text[j])) {
            if (exponent < 1000000)  // saturate; far beyond any double either way
                exponent = exponent * 10 + (text[j] - '0');
            ++j;
        }
        if (j > exponentBegin) {
            end = j;
            if (negativeExponent)
                exponent = -exponent;
        }
    }

    double value = 0.0;
    const char* first = text.data() + mantissaBegin;
    const auto [ptr, ec] = std::from_chars(first, text.data() + end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Infinity would print as "inf" and read back as 0: the largest double keeps the counter a number.
        const std::string_view mantissa(first, mantissaEnd - mantissaBegin);
        value = DecimalMagnitude(mantissa, exponent) > 0 ? DBL_MAX : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

// "%.13g", independent of the C locale's decimal point.
std::string FormatCounterValue(double value) {
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
    if (ec != std::errc())
        return "0";  // cannot happen: "%.13g" of a finite double needs at most 20 characters
    return std::string(buffer, ptr);
}

std::string CounterPart(const FileNameOptions& options) {
    return options.useAutoNumber ? options.counterText : std::string();
}

}  // namespace

std::string_view FileExtension(std::optional<ImageFormat> format) {
    if (!format)
        return {};
    switch (*format) {
        case ImageFormat::Jpg: return ".jpg";
        case ImageFormat::Png: return ".png";
        case ImageFormat::Bmp: return ".bmp";
        case ImageFormat::Gif: return ".gif";
    }
    return {};
}

std::string FormatDatePart(const LocalDateTime& t) {
    return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day);
}

std::string FormatTimestamp(const LocalDateTime& t) {
    std::string text = std::to_string(t.year) + "年" + std::to_string(t.month) + "月" + std::to_string(t.day) + "日";
    if (t.second != 0)
        text += std::to_string(t.hour) + "时" + std::to_string(t.minute) + "分" + std::to_string(t.second) + "秒";
    else if (t.minute != 0)
        text += std::to_string(t.hour) + "时" + std::to_string(t.minute) + "分";
    else if (t.hour != 0)
        text += std::to_string(t.hour) + "时";
    return text;
}

std::string AdvanceCounter(std::string_view counterText) {
    // DBL_MAX + 1 stays DBL_MAX, so the sum is always finite.
    return FormatCounterValue(LeadingNumber(counterText) + 1.0);
}

ComposedFileName ComposeFileName(const FileNameOptions& options, const LocalDateTime& now) {
    // Each separator belongs to the part before it and appears only when a later part follows:
    // without a prefix the name does not start with "_", without a number the date does not end with one.
    const char* afterPrefix = (options.useDate || options.useAutoNumber) ? "_" : "";
    const char* afterDate = options.useAutoNumber ? "_" : "";

    ComposedFileName name;
    if (options.usePrefix)
        name.stem = options.prefix + afterPrefix;
    if (options.useDate)
        name.stem += FormatDatePart(now) + afterDate;

    const std::string_view extension = FileExtension(options.imageFormat);
    name.preview = name.stem + CounterPart(options);
    // An empty prefix with both suffixes off leaves nothing in front of the extension.
    if (name.preview.empty())
        name.preview = FormatTimestamp(now);
    name.preview += extension;
    return name;
}

std::string ProposedSaveName(const FileNameOptions& options, std::string_view stem, const LocalDateTime& now) {
    if (!options.usePrefix && !options.useDate && !options.useAutoNumber)
        return FormatTimestamp(now);
    return std::string(stem) + CounterPart(options);
}

std::string FolderWithBackslash(std::string_view folder) {
    bool endsWithBackslash = false;
    for (std::size_t i = 0; i < folder.size();) {
        const bool pair = IsGbkLeadByte(static_cast<unsigned char>(folder[i])) && i + 1 < folder.size();
        endsWithBackslash = !pair && folder[i] == '\\';
        i += pair ? 2 : 1;
    }
    std::string result(folder);
    if (!endsWithBackslash)
        result += '\\';
    return result;
}

std::string AutoSaveBase(std::string_view folderWithBackslash, const FileNameOptions& options,
                         std::string_view stem, const LocalDateTime& now) {
    const std::string generated = std::string(stem) + CounterPart(options);
    return std::string(folderWithBackslash) + (generated.empty() ? FormatTimestamp(now) : generated);
}

std::optional<AutoCountName> FindFreeAutoCountName(std::string_view folderWithBackslash, std::string_view stem,
                                                   std::string_view takenCounterText,
                                                   std::string_view extension,
                                                   const std::function<bool(const std::string& path)>& exists,
                                                   std::size_t maxAttempts) {
    std::string counter(takenCounterText);
    for (std::size_t attempt = 0; attempt < maxAttempts; ++attempt) {
        std::string next = AdvanceCounter(counter);
        if (next == counter)
            return std::nullopt;  // the counter is stuck: every further try would test the same name
        counter = std::move(next);
        std::string path = std::string(folderWithBackslash).append(stem).append(counter).append(extension);
        if (!exists(path))
            return AutoCountName{std::move(path), std::move(counter)};
    }
    return std::nullopt;
}

std::optional<ImageFormat> SaveFormatFromPath(std::string_view path) {
    const std::size_t dot = path.rfind('.');  // '.' is never a GBK trail byte
    const std::string_view extension = dot == std::string_view::npos ? path : path.substr(dot + 1);
    if (extension == "jpg") return ImageFormat::Jpg;
    if (extension == "png") return ImageFormat::Png;
    if (extension == "bmp") return ImageFormat::Bmp;
    if (extension == "gif") return ImageFormat::Gif;
    return std::nullopt;
}

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

DialogSaveTarget ResolveDialogSaveTarget(std::string_view chosenPath, ImageFormat selectedType) {
    DialogSaveTarget target;
    const std::size_t dot = chosenPath.rfind('.');  // '.' is never a GBK trail byte
    if (dot != std::string_view::npos) {
        const std::string_view extension = chosenPath.substr(dot + 1);
        for (const ImageFormat format : {ImageFormat::Jpg, ImageFormat::Png, ImageFormat::Bmp, ImageFormat::Gif}) {
            if (EqualsIgnoringAsciiCase(extension, FileExtension(format).substr(1))) {
                target.path = std::string(chosenPath);
                target.format = format;
                return target;
            }
        }
    }
    const std::string_view extension = FileExtension(selectedType);
    target.path = std::string(chosenPath);
    // "shot." would otherwise become "shot..png"; Windows drops trailing dots from names anyway.
    target.path += !target.path.empty() && target.path.back() == '.' ? extension.substr(1) : extension;
    target.format = selectedType;
    target.extensionAppended = true;
    return target;
}
