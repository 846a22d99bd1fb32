// Every system call an export makes on its folders, failed in turn as a disk
// fails it (testing/syscall_faults.c, which traces the program and, under
// Wine, a Wine server of its own): the export is then whole and on the disk
// to stay, or the old file is as it was with nothing beside it and the message
// gives the system's reason.

#include "files/Files.h"
#include "testing/RunProgram.h"
#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/xattr.h>
#endif

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

namespace {

#ifdef _WIN32
constexpr bool UnderWine = true;  // the test runs only there
#else
constexpr bool UnderWine = false;
#endif

// The errors a disk gives, as Linux numbers them (ENOSPC, EIO, EDQUOT, EFBIG),
// taken in turn; a call also comes back interrupted (EINTR), once, and a write
// is also cut short.
constexpr int DiskErrors[] = {28, 5, 122, 27};
constexpr int Interrupted = 4;

struct Call {
    std::string kind, name;
    long long result = 0;
    bool failed = false, changes = false;
    std::string file, folder, path, path2;
};

struct Report {
    bool recorded = false;  // the tracer wrote it
    int exitCode = -1;
    std::string err;
    long failed = 0;
    std::map<std::string, long> made;
    std::vector<Call> calls;
};

Report ReportOf(const std::string& text)
{
    Report report;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string tag;
        std::getline(fields, tag, line.starts_with("call") ? '\t' : ' ');
        if (tag == "exit") {
            report.recorded = true;
            fields >> report.exitCode;
        } else if (tag == "failed") {
            fields >> report.failed;
        } else if (tag == "made") {
            std::string kind;
            fields >> kind >> report.made[kind];
        } else if (tag == "call") {
            std::vector<std::string> f;
            for (std::string field; std::getline(fields, field, '\t');)
                f.push_back(field);
            if (f.size() == 11)
                report.calls.push_back({f[2], f[3], std::stoll(f[4]), f[5] == "1", f[6] == "1", f[7], f[8], f[9],
                                        f[10]});
        }
    }
    return report;
}

// What the recorded calls show of a file renamed (or linked) into place: not
// synced after its last change and before it took its name, or (where the
// system has a call for it) its folder not synced after. Empty where all is well.
std::string UnsyncedIn(const Report& report, bool folders)
{
    const auto& calls = report.calls;
    auto synced = [&](const std::string& file, std::size_t from, std::size_t to) {
        return std::any_of(calls.begin() + static_cast<std::ptrdiff_t>(from),
                           calls.begin() + static_cast<std::ptrdiff_t>(to), [&](const Call& call) {
                               return call.kind == "sync" && call.result == 0 && call.file == file &&
                                      (call.name == "fsync" || call.name == "fdatasync");
                           });
    };
    for (std::size_t at = 0; at < calls.size(); ++at) {
        const Call& moved = calls[at];
        if (moved.kind != "rename" || moved.result != 0 || moved.path2 == "-")
            continue;
        // A file the run never changed (an old one exchanged back) has nothing to sync.
        std::optional<std::size_t> lastChange;
        for (std::size_t before = 0; before < at; ++before)
            if (calls[before].file == moved.file && calls[before].changes)
                lastChange = before;
        if (lastChange && !synced(moved.file, *lastChange, at))
            return "a file not synced after its last change and before it took its name";
        if (folders && !synced(moved.folder, at, calls.size()))
            return "a folder not synced after a file took its name in it";
    }
    return {};
}

std::uint32_t U32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// Each part of a zip with its CRC-32 and size, as its central directory lists
// them; two workbooks of the same players differ only in when they were made.
std::string PartsOf(const std::string& path)
{
    std::string zip = ReadBytes(path);
    std::size_t end = zip.rfind(std::string("PK\5\6", 4));
    if (end == std::string::npos || end + 22 > zip.size())
        return "not a zip";
    std::string parts;
    std::size_t entry = U32(zip, end + 16);
    for (std::size_t count = U32(zip, end + 10) & 0xFFFF; count > 0; --count) {
        std::size_t nameLength = U32(zip, entry + 28) & 0xFFFF;
        std::string name = zip.substr(entry + 46, nameLength);
        if (name != "docProps/core.xml")
            parts += name + " " + std::to_string(U32(zip, entry + 16)) + " " + std::to_string(U32(zip, entry + 24)) +
                     "\n";
        entry += 46 + nameLength + (U32(zip, entry + 30) & 0xFFFF) + (U32(zip, entry + 32) & 0xFFFF);
    }
    return parts;
}

// Natively, a file's mode, access list and extended attribute.
std::string AccessOf([[maybe_unused]] const std::string& path)
{
    std::string state;
#ifndef _WIN32
    struct stat info {};
    ::stat(path.c_str(), &info);
    state += " mode " + std::to_string(info.st_mode & 07777);
    for (const char* attribute : {"system.posix_acl_access", "user.test"}) {
        char value[256];
        ssize_t length = ::getxattr(path.c_str(), attribute, value, sizeof value);
        state += std::string(" ") + attribute + "=" + std::string(value, length > 0 ? std::size_t(length) : 0);
    }
#endif
    return state;
}

// The old file: mode 600 with an access list granting nobody read and write
// and the group nothing, and an attribute of its own.
void WriteOldFile(const std::string& path)
{
    WriteBytes(path, "old");
#ifndef _WIN32
    ::chmod(path.c_str(), 0600);
    auto entry = [](std::uint16_t tag, std::uint16_t permissions, std::uint32_t id) {
        std::string bytes(8, '\0');
        for (int i = 0; i < 2; ++i)
            bytes[i] = char(tag >> 8 * i), bytes[2 + i] = char(permissions >> 8 * i);
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = char(id >> 8 * i);
        return bytes;
    };
    std::string list = std::string("\2\0\0\0", 4) + entry(1, 6, ~0u) + entry(2, 6, 65534) + entry(4, 0, ~0u) +
                       entry(0x10, 6, ~0u) + entry(0x20, 0, ~0u);
    ::setxattr(path.c_str(), "system.posix_acl_access", list.data(), list.size(), 0);
    ::setxattr(path.c_str(), "user.test", "kept", 4, 0);
#endif
}

// veltrane-cli under the tracer. Natively each run is one tracer's command.
// Under Wine a tracer (a Linux program, which Wine starts without waiting for
// it) runs a Wine server of its own with every run's program, told what to run
// through files in a folder; a file there says when each run has ended.
class TracedRuns {
public:
    explicit TracedRuns(const std::string& work) : work_(work), host_(testfiles::HostPath(work))
    {
        std::string programs = std::filesystem::path(testfiles::SiblingProgram("cli_tests")).parent_path().string();
        tracer_ = files::JoinPath(programs, "syscall_faults");
#ifdef _WIN32
        const char* script = std::getenv("VELTRANE_TRACED_WINE");
        const char* prefix = std::getenv("WINEPREFIX");
        if (!script || !prefix) {
            why_ = "ctest names the traced Wine's script (VELTRANE_TRACED_WINE) and the session sets WINEPREFIX";
            return;
        }
        wine_ = {"sh", script, sizeof(void*) == 8 ? "x86_64" : "i686", prefix};
        service_ = files::JoinPath(work_, "service");
        std::filesystem::create_directory(service_);
        std::vector<std::string> serve = {"--serve", testfiles::HostPath(service_), "--"};
        serve.insert(serve.end(), wine_.begin(), wine_.end());
        serve.push_back("server");
        testfiles::RunProgram(tracer_, serve, work_);
        std::string ready = ReadWhenThere(files::JoinPath(service_, "ready"));
        if (ready != "exit 0\n")
            why_ = "the traced Wine server did not start (" + ready + "): " +
                   ReadBytes(files::JoinPath(service_, "log"));
        // The server's programs have their prefix's temporary folder, whatever
        // the environment says.
        std::string users = "Z:" + std::string(prefix) + "-faults/drive_c/users";
        for (const auto& user : std::filesystem::directory_iterator(testfiles::PathOf(users)))
            if (user.path().filename() != "Public")
                temporaryFolders_.push_back((user.path() / "Temp").string());
#else
        temporaryFolders_ = {files::JoinPath(work, "tmp")};
        std::filesystem::create_directory(temporaryFolders_[0]);
#endif
    }

    ~TracedRuns()
    {
#ifdef _WIN32
        // Its server and programs gone before the next test starts programs of its own.
        if (!service_.empty()) {
            Request("stop 1\n");
            ReadWhenThere(files::JoinPath(service_, "stopped"));
        }
#endif
    }

    const std::string& whyNot() const { return why_; }
    // Where the library would put its files were the export's folder refused.
    const std::vector<std::string>& temporaryFolders() const { return temporaryFolders_; }

    // The program runs in the work folder, and is given names in it.
    Report run(const std::string& failure, const std::vector<std::string>& arguments)
    {
        std::string report = host_ + "/report";
        std::filesystem::remove(testfiles::PathOf(files::JoinPath(work_, "report")));
        std::string config = failure + "report " + report + "\n";
        std::string program = testfiles::HostPath(testfiles::SiblingProgram("veltrane-cli"));
#ifdef _WIN32
        config += "cwd " + host_ + "\nout " + host_ + "/out.txt\nerr " + host_ + "/err.txt\n";
        for (const std::string& word : wine_)
            config += "arg " + word + "\n";
        config += "arg run\narg " + program + "\n";
        for (const std::string& word : arguments)
            config += "arg " + word + "\n";
        Request(config);
        Report result = ReportOf(ReadWhenThere(files::JoinPath(work_, "report")));
        result.err = ReadBytes(files::JoinPath(work_, "err.txt"));
#else
        WriteBytes(files::JoinPath(work_, "faults.conf"), config);
        std::vector<std::string> words = {files::JoinPath(work_, "faults.conf"), "--", program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        // LeakSanitizer cannot work under a tracer (the sanitizers' build).
        auto ran = testfiles::RunProgram(tracer_, words, work_,
                                         {"TMPDIR=" + temporaryFolders_[0], "ASAN_OPTIONS=detect_leaks=0"});
        Report result = ReportOf(ReadBytes(report));
        result.exitCode = ran.exitCode;
        result.err = ran.err;
#endif
        std::erase(result.err, '\r');
        return result;
    }

private:
#ifdef _WIN32
    void Request(const std::string& config)
    {
        std::string part = files::JoinPath(service_, "request.part");
        WriteBytes(part, config);
        MoveFileExA(part.c_str(), files::JoinPath(service_, "request").c_str(), MOVEFILE_REPLACE_EXISTING);
    }

    // A file the tracer writes whole when it is done; empty where it never comes.
    static std::string ReadWhenThere(const std::string& path)
    {
        for (int waited = 0; waited < 30000 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++waited)
            Sleep(10);
        return ReadBytes(path);
    }

    std::vector<std::string> wine_;
    std::string service_;
#endif
    std::string work_, host_, tracer_, why_;
    std::vector<std::string> temporaryFolders_;
};

// Faults the exports showed, each with how often and its first case, so that
// one fault seen in every run is said once.
class Faults {
public:
    void expect(bool holds, const std::string& what, const std::string& where)
    {
        if (holds)
            return;
        auto& seen = seen_[what];
        if (seen.first++ == 0)
            seen.second = where;
    }
    ~Faults()
    {
        for (const auto& [what, seen] : seen_)
            ADD_FAILURE() << what << ": in " << seen.first << " runs, first " << seen.second;
    }

private:
    std::map<std::string, std::pair<long, std::string>> seen_;
};

}  // namespace

TEST(FailingCalls, EveryFileCallOfAnExportFailsInTurnAndLeavesItWholeOrAsItWas)
{
    ScratchFolder work;
    std::string big = "big", small = "small";
    for (const auto& [game, records] : {std::pair{big, 1500}, std::pair{small, 20}}) {
        std::filesystem::create_directory(work.file(game));
        SampleOptions options;
        options.records = records;
        options.lastSeason = 2024;
        WriteBytes(files::JoinPath(work.file(game), "mastplyr.dat"), SampleMasterBytes(options));
    }
    std::string out = work.file("out"), kept = work.file("kept");
    for (const std::string& made : {out, kept})
        std::filesystem::create_directories(made);
#ifdef _WIN32
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "the calls are failed under the program, which on Windows itself is not Linux";
    // Under Wine one failure at a time, and each kind's calls sampled, a run
    // taking a Wine program's start; the two builds take different samples.
    constexpr bool Modes[] = {false};
    constexpr long MostRunsOfAKind = 16;
    const long sampleStart = sizeof(void*) == 8 ? 2 : 1;
    const bool foldersSynced = false;  // Wine has no call for it
#else
    constexpr bool Modes[] = {false, true};
    constexpr long MostRunsOfAKind = 1L << 30;
    const long sampleStart = 1;
    const bool foldersSynced = true;
#endif
    TracedRuns traced(work.str());
    ASSERT_EQ(traced.whyNot(), "");
    std::string watched;
    for (const std::string& folder : traced.temporaryFolders())
        watched += "watch " + testfiles::HostPath(folder) + "\n";
    watched += "watch " + testfiles::HostPath(out) + "\n";

    struct Export {
        std::string option, file, game;
        bool replace;
    };
    const std::vector<Export> exports = {
        {"--csv", "players.csv", big, false},
        {"--csv", "players.csv", big, true},
        {"--xlsx", "players.xlsx", small, false},
        {"--xlsx", "players.xlsx", small, true},
    };
#ifdef _WIN32
    // Wine turns each Linux error into one of Windows' own, by what it was
    // doing: the reason is one of the system's texts, and a full disk's is
    // Windows' own for it.
    std::set<std::string> systemTexts;
    for (int code = 1; code < 16000; ++code)
        systemTexts.insert(files::SystemErrorText(code));
#endif
    std::vector<std::string> wholeWorkbooks;
    Faults faults;
    for (const Export& each : exports) {
        std::string path = files::JoinPath(out, each.file);
        std::string name = files::JoinPath("out", each.file);
        std::vector<std::string> arguments = {"--folder", each.game, "--first", "1871", "--last", "2024", each.option,
                                              name};
        if (each.replace)
            arguments.push_back("--force");
        bool workbook = each.option == "--xlsx";
        auto prepare = [&] {
            std::filesystem::remove_all(out);
            std::filesystem::create_directory(out);
            if (each.replace)
                WriteOldFile(path);
        };
        prepare();
        std::string old = each.replace ? ReadBytes(path) + AccessOf(path) : "";
        Report clean = traced.run(watched, arguments);
        ASSERT_TRUE(clean.recorded);
        ASSERT_EQ(clean.exitCode, 0) << clean.err;
        std::string written = workbook ? PartsOf(path) : ReadBytes(path);

        // Each run's outcome: whole, in place and synced; or failed with the
        // system's reason, the old file as it was, nothing left anywhere.
        // removable: the system removes files; where it refuses every removal,
        // what the export made stays, and it must fail saying why. Under Wine
        // a name the server fails to look up after it made the file leaves
        // the server holding it, out of the program's reach, till it exits.
        auto check = [&](const Report& result, const std::string& where, int error, bool removable = true) {
            if (result.exitCode == 0) {
                faults.expect(result.err.empty(), "a run that succeeded said something", where + ": " + result.err);
                faults.expect((workbook ? PartsOf(path) : ReadBytes(path)) == written, "an export written wrong",
                              where);
                faults.expect(testfiles::Listing(out) == each.file, "files left beside the export",
                              where + ": " + testfiles::Listing(out));
                if (each.replace)
                    faults.expect("old" + AccessOf(path) == old,
                                  "the replaced file's mode, access list or attribute lost", where);
                if (workbook && wholeWorkbooks.size() < 200) {
                    wholeWorkbooks.push_back(files::JoinPath(kept, std::to_string(wholeWorkbooks.size()) + ".xlsx"));
                    std::filesystem::copy_file(path, wholeWorkbooks.back());
                }
            } else {
                std::string start = "Cannot write \"" + name + "\": ";
                std::string seen = result.err.substr(std::min(result.err.size(), start.size()));
                seen = seen.substr(0, seen.find('\n'));
                auto failed = std::find_if(result.calls.begin(), result.calls.end(),
                                           [](const Call& call) { return call.failed; });
                // Where every removal is refused, the new file can be in place with the
                // writer's folder left beside it, and the message says so; but not
                // where the removals were refused before it was placed.
                bool refusedFirst = failed != result.calls.end() && failed->kind == "unlink" &&
                                    std::none_of(result.calls.begin(), failed,
                                                 [](const Call& call) { return call.kind == "rename"; });
                bool writtenButLeft = !removable && !refusedFirst && seen.starts_with("it is written, but");
#ifdef _WIN32
                bool diskFull = error == 28 && failed != result.calls.end() && failed->kind == "write";
                bool systems = diskFull ? seen == files::SystemErrorText(ERROR_DISK_FULL) : systemTexts.count(seen) > 0;
#else
                // A seek the library made failed, and it seeks on from where it
                // thinks it is: the reason is then the one its next call meets.
                bool seek = failed != result.calls.end() && failed->kind == "seek";
                bool systems = seen == files::SystemErrorText(error) ||
                               (seek && seen == files::SystemErrorText(EINVAL));
#endif
                if (writtenButLeft)
                    systems = seen.ends_with(": " + files::SystemErrorText(error));
                faults.expect(result.exitCode == 1 && result.err == start + seen + "\n" && systems,
                              "a failure not said with the system's reason", where + ": " + result.err);
                faults.expect(!each.replace || writtenButLeft || ReadBytes(path) + AccessOf(path) == old,
                              "the old file changed", where);
                faults.expect(!removable || testfiles::Listing(out) == (each.replace ? each.file : ""),
                              "files left in the export's folder", where + ": " + testfiles::Listing(out));
            }
            for (const std::string& folder : traced.temporaryFolders())
                faults.expect(testfiles::Listing(folder).empty(), "files left in the temporary folder", where);
            if (result.exitCode == 0) {
                std::string unsynced = UnsyncedIn(result, foldersSynced);
                faults.expect(unsynced.empty(), unsynced, where);
            }
        };
        std::string exportName = each.file + (each.replace ? " replacing a file" : " as a new file");
        check(clean, exportName + ", no call failed", 0);

        std::ostringstream tried;
        tried << exportName << ":";
        long runs = 0;
        for (const auto& [kind, madeClean] : clean.made) {
            if (madeClean == 0)
                continue;
            long stride = std::max(1L, (madeClean + MostRunsOfAKind - 1) / MostRunsOfAKind);
            long failedRuns = 0;
            for (bool onward : Modes) {
                for (long at = std::min(sampleStart, madeClean);; at += stride) {
                    long choices = long(std::size(DiskErrors)) + !onward + (kind == "write");
                    long choice = at % choices;
                    bool cut = kind == "write" && choice == choices - 1;
                    int error = cut ? 0 : choice < long(std::size(DiskErrors)) ? DiskErrors[choice] : Interrupted;
                    std::string failure = watched + "kind " + kind + "\nat " + std::to_string(at) + "\nerror " +
                                          (cut ? "short" : std::to_string(error)) + "\nonward " +
                                          std::to_string(onward) + "\n";
                    prepare();
                    Report result = traced.run(failure, arguments);
                    ASSERT_TRUE(result.recorded) << failure;
                    if (result.made[kind] < at && at > madeClean)
                        break;  // past the last call of the kind
                    if (result.made[kind] < at)
                        continue;  // under Wine a run makes a few calls more or fewer
                    ++failedRuns;
                    std::string how = (onward ? " and on" : "") + std::string(cut ? ", cut short" : ", error ") +
                                      (cut ? "" : std::to_string(error));
                    check(result, exportName + ", " + kind + " call " + std::to_string(at) + how, error,
                          !(onward && kind == "unlink") && !(UnderWine && kind == "readlink"));
                    ASSERT_LT(at, 100000) << "the run never stops making calls";
                }
            }
            tried << " " << kind << " " << failedRuns;
            runs += failedRuns;
        }
        // A disk with room for less and less of it: from none, by steps, to enough.
        long long step = workbook ? 4096 : 32768;
        long roomRuns = 0;
        for (long long room = 0;; room += step) {
            prepare();
            Report result = traced.run(watched + "room " + std::to_string(room) + "\n", arguments);
            ASSERT_TRUE(result.recorded) << room;
            if (result.failed == 0)
                break;
            ++roomRuns;
            check(result, exportName + ", room for " + std::to_string(room) + " bytes", 28);
            ASSERT_LT(room, 1LL << 30) << "the export never fits";
        }
        tried << " room " << roomRuns;
        std::cout << tried.str() << " (" << runs + roomRuns << " runs)\n";
    }
#ifndef _WIN32
    // A spreadsheet reader finds every player in each workbook written whole.
    ASSERT_FALSE(wholeWorkbooks.empty());
    std::vector<std::string> read = {testfiles::SiblingProgram("read_workbook.py")};
    read.insert(read.end(), wholeWorkbooks.begin(), wholeWorkbooks.end());
    auto described = testfiles::RunProgram("/usr/bin/python3", read, ".");
    ASSERT_EQ(described.exitCode, 0) << described.err;
    std::string first = described.out.substr(0, described.out.find("\nend\n") + 5);
    std::size_t copies = 0;
    for (std::size_t at = 0; described.out.compare(at, first.size(), first) == 0; at += first.size())
        ++copies;
    EXPECT_EQ(copies, wholeWorkbooks.size());
#endif
}
