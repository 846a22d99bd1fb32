// Speed of the portable core on a sample-sized master file and on one of a
// million records: (a) the bytes alone, (b) reading with the record tests,
// (b') the same from memory, (c) the whole pipeline of a Process run per record, in both orderings.
// Prints records per second and how many times (a) each costs.

#include "files/Files.h"
#include "listing/LineLayout.h"
#include "listing/PlayerSelection.h"
#include "masterfile/MasterPlayerReader.h"
#include "tools/SampleMaster.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

struct SampleFolder {
    std::string folder;
    std::int64_t records;
};

std::vector<SampleFolder> Folders;

std::string MakeFolder(std::int64_t records)
{
    auto folder = std::filesystem::temp_directory_path() / ("veltrane-bench-" + std::to_string(records));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "mastplyr.dat").string();
    SampleOptions options;
    options.records = records;
    options.lastSeason = 2024;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    GenerateSampleMaster(options, [file](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), file); });
    std::fclose(file);
    return folder.string();
}

void BytesAlone(benchmark::State& state)
{
    const SampleFolder& sample = Folders[static_cast<std::size_t>(state.range(0))];
    std::vector<unsigned char> buffer(MasterRecordSize * 700);
    for (auto _ : state) {
        files::ReadOnlyFile file;
        file.open(files::JoinPath(sample.folder, MasterFileName));
        std::size_t total = 0;
        while (std::size_t got = file.read(buffer.data(), buffer.size()))
            total += got;
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * sample.records);
}

std::int64_t CountValidRecords(MasterPlayerReader& reader)
{
    MasterPlayerRecord record;
    std::int64_t valid = 0;
    while (!reader.atEnd()) {
        reader.readNext(record);
        valid += isValidRecord(record);
    }
    return valid;
}

void ReadingWithRecordTests(benchmark::State& state)
{
    const SampleFolder& sample = Folders[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state) {
        MasterPlayerReader reader;
        reader.open(sample.folder);
        benchmark::DoNotOptimize(CountValidRecords(reader));
    }
    state.SetItemsProcessed(state.iterations() * sample.records);
}

// The same from the file's bytes in memory: what the reading costs without the system.
void ReadingFromMemory(benchmark::State& state)
{
    const SampleFolder& sample = Folders[static_cast<std::size_t>(state.range(0))];
    std::string bytes, reason;
    files::ReadFileStart(files::JoinPath(sample.folder, MasterFileName), std::size_t(1) << 30, bytes, reason);
    for (auto _ : state) {
        MasterPlayerReader reader;
        reader.openBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        benchmark::DoNotOptimize(CountValidRecords(reader));
    }
    state.SetItemsProcessed(state.iterations() * sample.records);
}

void WholePipeline(benchmark::State& state)
{
    const SampleFolder& sample = Folders[static_cast<std::size_t>(state.range(0))];
    Ordering ordering = state.range(1) ? Ordering::Uid : Ordering::Name;
    std::string listing, exporting;
    for (auto _ : state) {
        std::size_t bytes = 0;
        SelectPlayers(sample.folder, {1871, 2024}, [&](const MasterPlayerRecord& record) {
            listing.clear();
            exporting.clear();
            AppendListingLine(listing, record, ordering);
            AppendExportLine(exporting, record, ordering);
            bytes += listing.size() + exporting.size();
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * sample.records);
}

// Remembers each run's time per iteration to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }

    void PrintRatios() const
    {
        std::printf("\nCost against reading the bytes alone (a):\n");
        for (const auto& [name, seconds] : seconds_) {
            std::string size = name.substr(name.find('/') + 1, 1);
            auto baseline = seconds_.find("BytesAlone/" + size);
            if (baseline != seconds_.end() && name.rfind("BytesAlone", 0) != 0)
                std::printf("  %-40s %6.1f x (a)\n", name.c_str(), seconds / baseline->second);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv)
{
    std::printf("Generating sample master files...\n");
    Folders = {{MakeFolder(23000), 23000}, {MakeFolder(1000000), 1000000}};
    std::printf("range(0): 0 = 23,000 records (the sample), 1 = 1,000,000 records; range(1): 1 = UID order, 0 = Name order\n");
    for (int size : {0, 1}) {
        benchmark::RegisterBenchmark("BytesAlone", BytesAlone)->Arg(size)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("ReadingWithRecordTests", ReadingWithRecordTests)->Arg(size)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("ReadingFromMemory", ReadingFromMemory)->Arg(size)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("WholePipeline", WholePipeline)->Args({size, 1})->Args({size, 0})->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    for (const auto& sample : Folders)
        std::filesystem::remove_all(sample.folder);
    return 0;
}
