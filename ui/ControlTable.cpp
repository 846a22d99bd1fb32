#include "ui/ControlTable.h"

namespace {

constexpr const char* SansBold16 = "MS Sans Serif,-16,0,0,0,700,0,0,0,0,1,2,1,34";
constexpr const char* SansBold11 = "MS Sans Serif,-11,0,0,0,700,0,0,0,0,1,2,1,34";
constexpr const char* CourierNewBold13 = "Courier New,-13,0,0,0,700,0,0,0,0,3,2,1,49";
constexpr const char* Courier13 = "Courier,-13,0,0,0,400,0,0,0,0,1,2,1,49";

constexpr DWORD LabelStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | SS_LEFT | SS_NOTIFY;
constexpr DWORD YearBoxStyle = WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD OptionStyle = WS_TABSTOP | BS_AUTORADIOBUTTON | BS_LEFT | BS_VCENTER | BS_NOTIFY;
constexpr DWORD PushButtonStyle = WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_NOTIFY;
constexpr int Platform = PlatformColours;

}  // namespace

// clang-format off
const std::array<ControlRow, ControlCount> ControlTable = {{
    // class     text                      id                    x    y    w    h    styles                                          extended          font              text colour       background       element
    {"Static", "0 Records Qualified",    CountLabelId,         20,  77, 350,  21, LabelStyle,                                       0,                SansBold16,       COLOR_WINDOWTEXT, COLOR_BTNFACE,   0},
    {"Edit",   "",                       FirstYearBoxId,      486,  56,  73,  21, YearBoxStyle,                                     WS_EX_CLIENTEDGE, SansBold11,       COLOR_WINDOWTEXT, COLOR_WINDOW,    0},
    {"Edit",   "",                       LastYearBoxId,       486,  79,  71,  22, YearBoxStyle,                                     WS_EX_CLIENTEDGE, SansBold11,       COLOR_WINDOWTEXT, COLOR_WINDOW,    0},
    {"Button", "UID Sequence",           UidOptionId,          20,  42, 160,  30, OptionStyle | WS_GROUP,                           0,                SansBold16,       COLOR_WINDOWTEXT, COLOR_BTNFACE,   0},
    {"Button", "Name Sequence",          NameOptionId,        181,  42, 160,  30, OptionStyle,                                      0,                SansBold16,       COLOR_WINDOWTEXT, COLOR_BTNFACE,   1},
    {"Button", "&Process",               ProcessButtonId,      17, 300, 170,  40, PushButtonStyle,                                  0,                SansBold16,       Platform,         Platform,        0},
    {"Button", "&Write CSV File",        WriteCsvButtonId,    207, 300, 170,  40, PushButtonStyle,                                  0,                SansBold16,       Platform,         Platform,        0},
    {"Button", "E&xit",                  ExitButtonId,        399, 300, 170,  40, PushButtonStyle,                                  0,                SansBold16,       Platform,         Platform,        0},
    {"Button", "Change Galvor Folder",   ChangeFolderButtonId,402,   5, 160,  35, PushButtonStyle,                                  0,                SansBold11,       Platform,         Platform,        0},
    {"Static", "Last Year",              LastYearLabelId,     383,  81, 106,  24, LabelStyle,                                       0,                SansBold11,       COLOR_WINDOWTEXT, COLOR_BTNFACE,   0},
    {"Static", "First Year",             FirstYearLabelId,    381,  55, 103,  24, LabelStyle,                                       0,                SansBold11,       COLOR_WINDOWTEXT, COLOR_BTNFACE,   0},
    {"Static", "Player          UID   ", HeaderLabelId,        17, 105, 544,  17, LabelStyle,                                       0,                CourierNewBold13, COLOR_WINDOWTEXT, COLOR_BTNFACE,   0},
    {"ListBox","",                       ListBoxId,            17, 120, 551, 178, WS_VSCROLL | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE, Courier13, COLOR_WINDOWTEXT, COLOR_WINDOW, 0},
    {"Edit",   "Text1",                  FolderBoxId,         163,   5, 220,  35, ES_LEFT | ES_AUTOHSCROLL,                         WS_EX_CLIENTEDGE, SansBold16,       COLOR_WINDOWTEXT, COLOR_WINDOW,    0},
    {"Static", "Galvor Folder",          FolderLabelId,        20,   5, 130,  35, LabelStyle,                                       0,                SansBold16,       COLOR_WINDOWTEXT, COLOR_BTNFACE,   0},
}};
// clang-format on

const ControlRow& RowOf(int id)
{
    return ControlTable[static_cast<std::size_t>(id - CountLabelId)];
}
