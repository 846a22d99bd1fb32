#pragma once
// The remembered game folder: the one-line file galvorfolder.txt in the current
// directory, loaded when the window opens and written by Change Galvor Folder.

#include "files/FileIdentity.h"

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view SettingsFileName = "galvorfolder.txt";

// The folder written in a settings file's bytes: from the start (after a UTF-8
// byte-order mark, if any) up to the first CR, LF, Ctrl-Z or NUL, leading
// blanks skipped, TABs left out, trailing blanks kept; a folder in double
// quotes loses them.
std::string FolderFromSettings(std::string_view bytes);

// The folder of the settings file in the current directory, in the code page
// or, after a UTF-8 byte-order mark, in UTF-8. Nothing when there
// is no such file (or it is a folder): the folder box keeps its text. Empty when
// the file cannot be opened or read.
std::optional<std::string> LoadGameFolder();

// Writes folder, in the system's ANSI code page, and CR LF in place of the
// settings file; false with the reason when that fails or the code page cannot
// hold the folder's name exactly, the old file then being as it was. Never
// over a game file, however the settings file's name leads there.
bool SaveGameFolder(const std::string& folder, std::string& reason, const files::KeptFiles& gameFiles);

// Why a folder whose name the code page cannot hold is not remembered, and
// the message that refuses it, saying what to do.
std::string UnstorableFolderReason();
std::string UnstorableFolderMessage(std::string_view folder);

// The settings file's full path, for messages.
std::string SettingsFilePath();

std::string CannotRememberFolderMessage(std::string_view path, std::string_view reason);

// What Change Galvor Folder needs of the main window.
class FolderWindow {
public:
    // The folder browser; empty when cancelled or when the choice is not a folder on disk.
    virtual std::string browseForFolder() = 0;
    virtual std::string folderText() = 0;
    virtual void setFolderText(const std::string& folder) = 0;
    virtual void showMessage(const std::string& text) = 0;

protected:
    ~FolderWindow() = default;
};

// Lets the user pick a folder, shows it in the folder box and remembers it; a
// folder the settings file cannot hold is refused with a message, and nothing changes.
void ChangeGameFolder(FolderWindow& window);
