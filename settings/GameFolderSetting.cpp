#include "settings/GameFolderSetting.h"

#include "files/Files.h"
#include "files/ReplacingWriter.h"
#include "masterfile/MasterPlayerReader.h"

namespace {

// Longer files are not settings files; their first 32,767 bytes are read.
constexpr std::size_t SettingsReadLimit = 32767;

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

}  // namespace

std::string FolderFromSettings(std::string_view bytes)
{
    // An editor that saves "UTF-8 with BOM" puts the mark first; it is no part of the folder.
    if (bytes.starts_with(Utf8Mark))
        bytes.remove_prefix(Utf8Mark.size());
    std::size_t end = bytes.find_first_of(std::string_view("\r\n\x1a\0", 4));
    std::string_view line = bytes.substr(0, end);
    std::size_t start = line.find_first_not_of(' ');
    line.remove_prefix(start == std::string_view::npos ? line.size() : start);
    std::string folder;
    for (char c : line)
        if (c != '\t')
            folder += c;
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
        folder = folder.substr(1, folder.size() - 2);
    return folder;
}

std::optional<std::string> LoadGameFolder()
{
    std::string path(SettingsFileName);
    files::PathKind kind = files::KindOf(path);
    if (kind == files::PathKind::Missing || kind == files::PathKind::Directory)
        return std::nullopt;
    std::string bytes, reason;
    if (!files::ReadFileStart(path, SettingsReadLimit, bytes, reason))
        return std::string();
    std::string folder = FolderFromSettings(bytes);
    // The mark says the editor wrote UTF-8, not the code page the program writes.
    std::optional<std::string> utf8 = bytes.starts_with(Utf8Mark) ? files::NameFromUtf8(folder) : std::nullopt;
    return utf8 ? *utf8 : files::NameFromAnsi(folder);
}

bool SaveGameFolder(const std::string& folder, std::string& reason, const files::KeptFiles& gameFiles)
{
    std::optional<std::string> stored = files::ExactAnsi(folder);
    if (!stored) {
        reason = UnstorableFolderReason();
        return false;
    }
    files::ReplacingWriter writer;
    if (writer.begin(std::string(SettingsFileName), files::ReplaceMode::Replace, gameFiles) && writer.write(*stored) && writer.write("\r\n") &&
        writer.commit())
        return true;
    reason = writer.failure();
    return false;
}

std::string UnstorableFolderReason()
{
    return "its name has characters that the settings file, in this system's code page (" +
           std::to_string(files::AnsiCodePage()) + "), cannot hold";
}

std::string UnstorableFolderMessage(std::string_view folder)
{
    return "The folder \"" + std::string(folder) + "\" cannot be the game folder: " + UnstorableFolderReason() +
           ". Rename the folder, or one of the folders it is in, with letters of that code page, or move the game "
           "to such a folder, and choose it again.";
}

std::string SettingsFilePath()
{
    return files::AbsolutePath(SettingsFileName);
}

std::string CannotRememberFolderMessage(std::string_view path, std::string_view reason)
{
    return "Cannot remember the game folder in \"" + std::string(path) + "\": " + std::string(reason);
}

void ChangeGameFolder(FolderWindow& window)
{
    std::string folder = window.browseForFolder();
    if (folder.empty())
        return;
    // Refused before anything changes: the box would show a folder that is not remembered.
    if (!files::ExactAnsi(folder)) {
        window.showMessage(UnstorableFolderMessage(folder));
        return;
    }
    // The game files as the box named them before, and as the new folder does.
    files::KeptFiles gameFiles = MasterFilesKept(window.folderText());
    for (const files::KeptFile& chosen : MasterFilesKept(folder))
        gameFiles.push_back(chosen);
    window.setFolderText(folder);
    std::string reason;
    if (!SaveGameFolder(folder, reason, gameFiles))
        window.showMessage(CannotRememberFolderMessage(SettingsFilePath(), reason));
}
