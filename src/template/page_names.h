// The grammar of the names a page goes by: which names are pages, where a page ends, and the
// names only the module makes beside a page while it is replaced. Every other part (the plan,
// the executor, the counts and the words) takes names from here, or from the plan's steps,
// and derives none itself. Lengths are measured in the unit of the page's folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/files.h"

namespace setupext {

// Names only the module makes, beside a page while it is being replaced: its output, and (on
// systems that cannot free a name while another program holds the file) the page itself on
// its way out. A call cut short may leave either; the next call recognises them by these
// names and finishes the job. Only a page whose own name ends in ".pag" is ever set aside.
inline constexpr std::string_view kPageExtension = ".pag";
inline constexpr std::string_view kStrayExtension = ".tmp";
inline constexpr std::string_view kOutputSuffix = ".setupext-new";
inline constexpr std::string_view kAsideSuffix = ".setupext-old";
// A page whose name leaves no room for the output suffix gets a short output name,
// "PREFIX.~HASH.setupext-new", and beside it a marker "~HASH.setupext-name-REST" that keeps the
// rest of its name, made before the page may go: a cut call's output can still be given its
// page's final name. Such a page is never set aside.
inline constexpr std::string_view kShortTag = ".~";
inline constexpr std::string_view kMarkerInfix = ".setupext-name-";
inline constexpr std::size_t kHashDigits = 8;

// A page is a file whose last extension begins with ".pag" ("a.pag", "a.page"); a stray
// output of an earlier version is a file whose last extension is ".tmp". Case-sensitive.
bool IsPageName(std::string_view name) noexcept;
bool IsStrayName(std::string_view name) noexcept;
// The name with its last extension replaced by ".pag": where a page or stray ends.
[[nodiscard]] bool AppendFinalName(std::string_view name, PathText& out) noexcept;
// The page or stray a plain leftover name was made for, or nothing when the module never
// makes that name.
std::string_view PageOfOutput(std::string_view name) noexcept;
std::string_view PageOfAside(std::string_view name) noexcept;

// A name's length in the folder's unit. Bytes that are no whole UTF-8 character count each as
// one character of their own.
std::size_t NameUnits(std::string_view name, const FolderFacts& facts) noexcept;
// Whether the page's own names need the short form in this folder.
bool NeedsShortNames(std::string_view page, const FolderFacts& facts) noexcept;
// The page's output name, and for the short form its marker's name.
[[nodiscard]] bool AppendOutputName(std::string_view page, const FolderFacts& facts, PathText& out) noexcept;
[[nodiscard]] bool AppendMarkerName(std::string_view page, const FolderFacts& facts, PathText& out) noexcept;
// Whether the page goes aside before its deletion in this folder: only where the folder frees
// no name at once, and only a page whose own name is its final name and needs no short form.
bool MayGoAside(std::string_view page, const FolderFacts& facts) noexcept;
[[nodiscard]] bool AppendAsideName(std::string_view page, PathText& out) noexcept;

// A short output's prefix and hash, or false when the name is not one.
bool ShortOutputParts(std::string_view name, std::string_view* prefix, std::string_view* hash) noexcept;
// A marker's hash and the rest of its page's name, or false when the name is not one.
bool MarkerParts(std::string_view name, std::string_view* hash, std::string_view* rest) noexcept;

}  // namespace setupext
