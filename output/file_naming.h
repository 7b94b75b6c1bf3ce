#pragma once
// Generated file names: the composition of prefix, date and running number, the timestamp name used when
// all three are off, the running number's successor, and the name search of the AutoCount policy.
//
// Everything here is pure: the clock and the file system come in as arguments (a LocalDateTime, an
// `exists` callback), so the rules run and are tested on any platform. All texts are GBK byte strings;
// the only character-level work (finding a trailing backslash) walks GBK double-byte pairs from the start.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_types.h"

// The local date and time as GetLocalTime reports it (hour 0-23).
struct LocalDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

// The options that shape a generated name, as read from the main window at the moment of use.
struct FileNameOptions {
    bool usePrefix = false;
    std::string prefix;
    bool useDate = false;
    bool useAutoNumber = false;
    std::string counterText;                   // exactly as typed; it is never reformatted in a name
    std::optional<ImageFormat> imageFormat;    // empty: no format button selected
};

// ".jpg", ".png", ".bmp", ".gif"; empty when no format is selected.
std::string_view FileExtension(std::optional<ImageFormat> format);

// "2009-6-7": year, month and day without leading zeros.
std::string FormatDatePart(const LocalDateTime& t);

// "2009年6月7日" followed by "14时5分9秒", "14时5分" or "14时": the time is cut after its last non-zero
// field, so exactly midnight gives the date alone.
std::string FormatTimestamp(const LocalDateTime& t);

// The successor of a counter text: its leading decimal number plus one, written as "%.13g" writes it.
// "1" -> "2", "007" -> "8", "1.5" -> "2.5", "12abc" -> "13", "abc" and "" -> "1", "-3" -> "-2".
// The leading number is optional blanks, an optional sign, digits with at most one decimal point, and an
// optional complete exponent ("1e5"), so that a counter this function wrote ("1e+13") reads back as the
// value it stands for. Anything else (full-width digits, "inf", "0x10") counts as 0. A number too large for
// a double counts as the largest double, never as infinity, so the result is always a number.
std::string AdvanceCounter(std::string_view counterText);

// What a refresh of the naming controls computes.
struct ComposedFileName {
    std::string stem;     // prefix part and date part: what the save flow keeps as fileNameStem
    std::string preview;  // the full name the next save will use, extension included
};

// Composes the stem (prefix + "_" + date + "_", each separator present only when something follows it)
// and the preview (stem + counter + extension). When nothing stands in front of the extension, the
// preview is the timestamp of `now` plus the extension. The date part is taken from `now` as well.
ComposedFileName ComposeFileName(const FileNameOptions& options, const LocalDateTime& now);

// The name the Save dialog proposes (no extension): `stem` + counter, or the timestamp of `now` when
// prefix, date and number are all switched off. `stem` is the one kept from the last refresh.
std::string ProposedSaveName(const FileNameOptions& options, std::string_view stem, const LocalDateTime& now);

// `folder` with exactly one backslash at its end. A GBK trail byte can be 0x5C, so the last character is
// found by walking the text from its start, not by looking at the last byte.
std::string FolderWithBackslash(std::string_view folder);

// The target of an automatic save without extension: folderWithBackslash + `stem` + counter, or
// folderWithBackslash + the timestamp of `now` when nothing was generated after the folder.
std::string AutoSaveBase(std::string_view folderWithBackslash, const FileNameOptions& options,
                         std::string_view stem, const LocalDateTime& now);

// Where the AutoCount policy found room.
struct AutoCountName {
    std::string path;         // folder + stem + counterText + extension, known not to exist
    std::string counterText;  // the running number used in `path`
};

// Upper bound on the names one AutoCount search tries.
constexpr std::size_t kAutoCountMaxAttempts = 100000;

// The AutoCount search, run after folder + stem + takenCounterText + extension was found to exist:
// advances the counter and tries again until `exists` says a name is free. Gives nothing when the counter
// no longer changes (beyond 13 significant digits "1e+13" + 1 is "1e+13" again) or after maxAttempts
// names, so a clash is never resolved by reusing a taken name.
std::optional<AutoCountName> FindFreeAutoCountName(std::string_view folderWithBackslash, std::string_view stem,
                                                   std::string_view takenCounterText,
                                                   std::string_view extension,
                                                   const std::function<bool(const std::string& path)>& exists,
                                                   std::size_t maxAttempts = kAutoCountMaxAttempts);

// The format a path chosen in the Save dialog asks for: the text after its last "." (the whole path when
// there is none) compared byte for byte with "jpg", "png", "bmp" and "gif". "shot.JPG" gives nothing.
std::optional<ImageFormat> SaveFormatFromPath(std::string_view path);

// Where a name chosen in the Save dialog is written, and in which format.
struct DialogSaveTarget {
    std::string path;
    ImageFormat format = ImageFormat::Png;
    bool extensionAppended = false;  // `path` is the chosen name plus the selected type's extension
};

// The chosen name's extension picks the format, compared without regard to ASCII case ("shot.JPG" is a JPEG).
// A name whose extension is none of the four ("shot", "shot.jpeg", "my.dir\\shot") keeps what was typed and
// gets the extension of `selectedType`, the file type picked in the dialog; a name ending in "." gets it
// without a second dot.
DialogSaveTarget ResolveDialogSaveTarget(std::string_view chosenPath, ImageFormat selectedType);
