// Who made the program: the one place for the maker's name, web address and
// the author's credit, used by the window caption, the web-page button, the
// credit label and the notice written into shredded files.
#pragma once

namespace maker {

inline constexpr wchar_t kName[] = L"塔维洛软件工作室";
inline constexpr wchar_t kWebAddress[] = L"https://tarvello.example/";
inline constexpr wchar_t kAuthor[] = L"塔小维";
inline constexpr wchar_t kContactNumber[] = L"0000000";

}  // namespace maker
