#pragma once
// The main window and its fifteen controls, as data.

#include <windows.h>

#include <array>

inline constexpr char FormClassName[] = "FORM_VELTRANE_V10_FORM1_CLASS";
inline constexpr char FormCaption[] = "Veltrane V10 (4/10/2012)";
inline constexpr int FormWidth = 600;
inline constexpr int FormHeight = 380;
inline constexpr DWORD FormStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
                                   WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD FormExStyle = WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE;

enum ControlId : int {
    CountLabelId = 1000,
    FirstYearBoxId,
    LastYearBoxId,
    UidOptionId,
    NameOptionId,
    ProcessButtonId,
    WriteCsvButtonId,
    ExitButtonId,
    ChangeFolderButtonId,
    LastYearLabelId,
    FirstYearLabelId,
    HeaderLabelId,
    ListBoxId,
    FolderBoxId,
    FolderLabelId,
};

inline constexpr int ControlCount = 15;
// No system colour: the control keeps the platform's own colours.
inline constexpr int PlatformColours = -1;

struct ControlRow {
    const char* className;
    const char* text;
    int id;
    int x, y, width, height;
    DWORD style;  // besides WS_CHILD and WS_VISIBLE
    DWORD exStyle;
    const char* font;
    int textColour;  // system colour indexes, or PlatformColours
    int backColour;
    int element;  // position in its control array; the two options form one
};

// In creation order, which is also the z-order and the tab order.
extern const std::array<ControlRow, ControlCount> ControlTable;

const ControlRow& RowOf(int id);
