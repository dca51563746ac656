// The main window's controls: kind, place in client pixels (twips / 15),
// caption, font and tab index, in the order in which they are created.
#pragma once

namespace form1 {

enum class ControlKind { CommandButton, TextBox, FileList, FolderList, DriveList, ListBox, Label };
enum class FontId { Window, ButtonBold, LinkUnderlined, Title };

struct ControlSpec {
  const wchar_t* name;
  ControlKind kind;
  int left, top, width, height;
  const wchar_t* caption;  // nullptr: none; labels size themselves to it
  FontId font;
  int tabIndex;
  int id;  // control identifier; 0 for the labels, which are not windows
};

// Identifiers stay clear of IDOK and IDCANCEL, which the dialog manager sends
// for Enter and Esc.
enum ControlId {
  kCommand3 = 103,
  kCommand2 = 102,
  kCommand1 = 101,
  kText1 = 110,
  kFile1 = 120,
  kDir1 = 121,
  kDrive1 = 122,
  kList1 = 130,
};

inline constexpr int kClientWidth = 450;
inline constexpr int kClientHeight = 445;

// clang-format off
inline constexpr ControlSpec kControls[] = {
    {L"Command3", ControlKind::CommandButton, 264, 392, 129,  33, L"技术中心",     FontId::ButtonBold,      8, kCommand3},
    {L"Command2", ControlKind::CommandButton,  56, 392, 129,  33, L"粉碎文件",     FontId::ButtonBold,      7, kCommand2},
    {L"Command1", ControlKind::CommandButton, 384, 368,  57,  17, L"添 加",        FontId::Window,          5, kCommand1},
    {L"Text1",    ControlKind::TextBox,       176, 367, 209,  18, L"",             FontId::Window,          4, kText1},
    {L"File1",    ControlKind::FileList,      176, 264, 265,  98, nullptr,         FontId::Window,          3, kFile1},
    {L"Dir1",     ControlKind::FolderList,      8, 280, 169, 104, nullptr,         FontId::Window,          2, kDir1},
    {L"Drive1",   ControlKind::DriveList,       8, 264, 169,  20, nullptr,         FontId::Window,          1, kDrive1},
    {L"List1",    ControlKind::ListBox,         8,  24, 433, 230, L"",             FontId::Window,          0, kList1},
    {L"Label3",   ControlKind::Label,         256, 432, 192,  12, nullptr,         FontId::Window,         10, 0},
    {L"Label2",   ControlKind::Label,         352,   8,  84,  14, L"从列表中删除", FontId::LinkUnderlined,  9, 0},
    {L"Label1",   ControlKind::Label,           8,   8,  64,  16, L"粉碎列表",     FontId::Title,           6, 0},
};
// clang-format on

// Rows of the shred list and the file list, so that both show whole rows.
inline constexpr int kListRowHeight = 12;

}  // namespace form1
