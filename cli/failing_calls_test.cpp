// Every file call an export makes, failed in turn as a disk fails it: the
// export is then whole, or the old file is as it was with nothing beside it
// and the message gives the system's reason.

#include "files/Files.h"
#include "testing/RunProgram.h"
#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

namespace {

// The kinds of call testing/failing_calls.c tells apart, and the errors a disk
// gives, as Linux numbers them (ENOSPC, EIO, EDQUOT, EFBIG): under Wine too,
// whose calls the library fails.
const std::vector<std::string> CallKinds = {"open", "read", "write", "sync", "rename", "close", "allocate"};
constexpr int DiskErrors[] = {28, 5, 122, 27};

// The watched calls the processes of one run made, by kind, and how many failed.
struct Calls {
    std::map<std::string, long> made;
    long failed = 0;
};

Calls CallsIn(const std::filesystem::path& reports)
{
    Calls calls;
    for (const auto& report : std::filesystem::directory_iterator(reports)) {
        std::istringstream lines(ReadBytes(report.path().string()));
        std::string kind;
        long count = 0;
        while (lines >> kind >> count)
            (kind == "failed" ? calls.failed : calls.made[kind]) += count;
    }
    return calls;
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

// Natively the failing-calls library and its settings reach the program run
// through its environment. Under Wine a program's environment does not reach
// the Linux side of the programs it starts: there ctest loads the library into
// the test program already (and so into the Wine processes it starts) and
// names the settings file.
struct FailingCalls {
    std::vector<std::string> environment;
    std::string settings;  // the program's own name for it
};

FailingCalls FailingCallsFor(const std::string& folder)
{
#ifdef _WIN32
    (void)folder;
    const char* preload = std::getenv("LD_PRELOAD");
    const char* settings = std::getenv("VELTRANE_FAIL_CONFIG");
    if (!preload || !std::string(preload).ends_with("failing_calls.so") || !settings)
        return {};
    std::string name = std::string("Z:") + settings;
    std::replace(name.begin(), name.end(), '/', '\\');
    return {{}, name};
#else
    std::string program = testfiles::SiblingProgram("veltrane-cli");
    std::string library = (std::filesystem::path(program).parent_path() / "failing_calls.so").string();
    std::string settings = files::JoinPath(folder, "failing-calls.conf");
    return {{"LD_PRELOAD=" + library, "VELTRANE_FAIL_CONFIG=" + settings}, settings};
#endif
}

// One call failed, and (natively, where a run takes milliseconds rather than
// a Wine process's start) every call from one on, as a disk that fills up.
#ifdef _WIN32
constexpr bool Modes[] = {false};
#else
constexpr bool Modes[] = {false, true};
#endif

unsigned long ProcessNumber()
{
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

TEST(FailingCalls, EveryFileCallOfAnExportFailsInTurnAndLeavesItWholeOrAsItWas)
{
    ScratchFolder games;
    std::string big = games.file("big"), small = games.file("small");
    for (const auto& [game, records] : {std::pair{big, 1500}, std::pair{small, 20}}) {
        std::filesystem::create_directory(game);
        SampleOptions options;
        options.records = records;
        options.lastSeason = 2024;
        WriteBytes(files::JoinPath(game, "mastplyr.dat"), SampleMasterBytes(options));
    }
#ifdef _WIN32
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "the calls are failed under the program, which on Windows itself is not Linux";
#endif
    // Calls are watched in the exports' folder. The temporary folder the
    // library would fall back to is beside it, unwatched (under Wine a
    // program's own start reads its temporary folder), and must stay empty.
    ScratchFolder work;
    std::string mark = "veltrane-faults-" + std::to_string(ProcessNumber());
    std::string out = files::JoinPath(work.file(mark), "out");
    std::string temporary = work.file("tmp");
    std::string reports = work.file("calls");
    std::string kept = work.file("kept");
    for (const std::string& made : {out, temporary, reports, kept})
        std::filesystem::create_directories(made);
    FailingCalls failing = FailingCallsFor(work.str());
    ASSERT_FALSE(failing.settings.empty()) << "ctest loads the failing-calls library under Wine";

    auto run = [&](const std::string& game, const std::vector<std::string>& exportArguments,
                   const std::string& failure) {
        std::filesystem::remove_all(reports);
        std::filesystem::create_directory(reports);
        WriteBytes(failing.settings,
                   "mark /" + mark + "/\nreport " + testfiles::HostPath(reports) + "\n" + failure);
        std::vector<std::string> environment = failing.environment;
        for (const char* variable : {"TMPDIR=", "TMP=", "TEMP="})
            environment.push_back(variable + temporary);
        std::vector<std::string> arguments = {"--folder", game, "--first", "1871", "--last", "2024"};
        arguments.insert(arguments.end(), exportArguments.begin(), exportArguments.end());
        testfiles::ProgramResult result;
        try {
            result = testfiles::RunProgram(testfiles::SiblingProgram("veltrane-cli"), arguments, work.str(), environment);
        } catch (const std::exception& failed) {
            ADD_FAILURE() << failed.what() << " with " << failure;
        }
        std::filesystem::remove(failing.settings);
        return result;
    };

    struct Export {
        std::string option;
        std::string file;
        std::string game;
        bool replace;
    };
    const std::vector<Export> exports = {
        {"--csv", "players.csv", big, false},
        {"--csv", "players.csv", big, true},
        {"--xlsx", "players.xlsx", small, false},
        {"--xlsx", "players.xlsx", small, true},
    };
#ifdef _WIN32
    // Wine turns each Linux error into one of Windows' own: the first message
    // for an error gives its text, and every later one must agree.
    std::map<int, std::string> reasons;
    auto reasonFor = [&](int error, const std::string& seen) { return reasons.emplace(error, seen).first->second; };
#else
    auto reasonFor = [](int error, const std::string&) { return files::SystemErrorText(error); };
#endif
    std::vector<std::string> wholeWorkbooks;
    std::string cleanWorkbook;
    for (const Export& each : exports) {
        std::string name = files::JoinPath(files::JoinPath(mark, "out"), each.file);
        std::string path = files::JoinPath(out, each.file);
        std::vector<std::string> arguments = {each.option, name};
        if (each.replace)
            arguments.push_back("--force");
        bool workbook = each.option == "--xlsx";
        auto prepare = [&] {
            std::filesystem::remove_all(out);
            std::filesystem::create_directory(out);
            if (each.replace)
                WriteBytes(path, "old");
        };
        prepare();
        auto clean = run(each.game, arguments, "");
        ASSERT_EQ(clean.exitCode, 0) << clean.err;
        std::string written = workbook ? PartsOf(path) : ReadBytes(path);
        if (workbook) {
            cleanWorkbook = files::JoinPath(kept, "clean" + std::to_string(each.replace) + ".xlsx");
            std::filesystem::copy_file(path, cleanWorkbook);
        }

        std::ostringstream tried;
        tried << each.file << (each.replace ? " replacing a file:" : " as a new file:");
        for (const std::string& kind : CallKinds) {
            long failedRuns = 0;
            for (bool onward : Modes) {
                for (long at = 1;; ++at) {
                    int error = DiskErrors[at % std::size(DiskErrors)];
                    std::string failure = "kind " + kind + "\nat " + std::to_string(at) + "\nerror " +
                                          std::to_string(error) + "\nonward " + std::to_string(onward) + "\n";
                    prepare();
                    auto result = run(each.game, arguments, failure);
                    Calls calls = CallsIn(reports);
                    SCOPED_TRACE(each.file + (each.replace ? " replacing" : " new") + ", " + kind + " call " +
                                 std::to_string(at) + (onward ? " and on" : "") + ", error " +
                                 std::to_string(error));
                    if (calls.failed == 0) {
                        // Past the last call of the kind: a run that failed nothing.
                        EXPECT_EQ(result.exitCode, 0) << result.err;
                        break;
                    }
                    ++failedRuns;
                    std::string err = result.err;
                    std::erase(err, '\r');
                    if (result.exitCode == 0) {
                        EXPECT_EQ(err, "");
                        EXPECT_EQ(workbook ? PartsOf(path) : ReadBytes(path), written);
                        if (workbook) {
                            wholeWorkbooks.push_back(
                                files::JoinPath(kept, std::to_string(wholeWorkbooks.size()) + ".xlsx"));
                            std::filesystem::copy_file(path, wholeWorkbooks.back());
                        }
                        EXPECT_EQ(testfiles::Listing(out), each.file);
                    } else {
                        EXPECT_EQ(result.exitCode, 1);
                        std::string start = "Cannot write \"" + name + "\": ";
                        std::string seen = err.substr(std::min(err.size(), start.size()));
                        seen = seen.substr(0, seen.find('\n'));
                        EXPECT_EQ(err, start + reasonFor(error, seen) + "\n");
                        if (each.replace) {
                            EXPECT_EQ(ReadBytes(path), "old");
                        }
                        EXPECT_EQ(testfiles::Listing(out), each.replace ? each.file : "");
                    }
                    EXPECT_EQ(testfiles::Listing(temporary), "");
                    ASSERT_LT(at, 10000) << "the run never stops making calls";
                }
            }
            tried << " " << kind << " " << failedRuns;
        }
        std::cout << tried.str() << "\n";
    }
#ifdef _WIN32
    if (reasons.count(28)) {
        EXPECT_EQ(reasons[28], files::SystemErrorText(ERROR_DISK_FULL));
    }
#endif
#ifndef _WIN32
    // A spreadsheet reader finds every player in each workbook written whole.
    ASSERT_FALSE(cleanWorkbook.empty());
    std::vector<std::string> read = {testfiles::SiblingProgram("read_workbook.py"), cleanWorkbook};
    read.insert(read.end(), wholeWorkbooks.begin(), wholeWorkbooks.end());
    auto described = testfiles::RunProgram("/usr/bin/python3", read, ".");
    ASSERT_EQ(described.exitCode, 0) << described.err;
    std::string first = described.out.substr(0, described.out.find("\nend\n") + 5);
    std::size_t copies = 0;
    for (std::size_t at = 0; described.out.compare(at, first.size(), first) == 0; at += first.size())
        ++copies;
    EXPECT_EQ(copies, wholeWorkbooks.size() + 1);
#endif
}
