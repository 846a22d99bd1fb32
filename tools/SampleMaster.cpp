#include "tools/SampleMaster.h"

#include "files/Files.h"

#include <algorithm>
#include <cstring>
#include <vector>

void PutInt16(MasterRecordBytes& bytes, std::size_t offset, std::int16_t value)
{
    auto raw = static_cast<std::uint16_t>(value);
    bytes[offset] = static_cast<unsigned char>(raw & 0xFF);
    bytes[offset + 1] = static_cast<unsigned char>(raw >> 8);
}

void PutRawText(MasterRecordBytes& bytes, std::size_t offset, std::size_t width, std::string_view raw)
{
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), width, 0);
    std::memcpy(bytes.data() + offset, raw.data(), std::min(width, raw.size()));
}

std::string AsString(const MasterRecordBytes& bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

MasterRecordBytes EncodeMasterRecord(const MasterPlayerRecord& record)
{
    using namespace MasterField;
    MasterRecordBytes bytes{};
    auto text = [&bytes](std::size_t offset, std::size_t width, std::string_view value) {
        PutRawText(bytes, offset, width, value.substr(0, width - 1));
    };
    PutInt16(bytes, Status, record.status);
    PutInt16(bytes, Uid, record.uid);
    text(FirstName, FirstNameWidth, record.firstName);
    text(LastName, LastNameWidth, record.lastName);
    text(ExtraText, ExtraTextWidth, record.extraText);
    PutInt16(bytes, BirthYear, record.birthYear);
    bytes[BirthMonth] = record.birthMonth;
    bytes[BirthDay] = record.birthDay;
    PutInt16(bytes, DebutYear, record.debutYear);
    PutInt16(bytes, FinalYear, record.finalYear);
    bytes[Position] = record.position;
    bytes[Role] = record.role;
    bytes[Bats] = record.bats;
    bytes[Throws] = record.throws;
    bytes[ArmAngle] = record.armAngle;
    bytes[Velocity] = record.velocity;
    std::copy(record.pitchFlags.begin(), record.pitchFlags.end(), bytes.begin() + PitchFlags);
    bytes[OutPitch] = record.outPitch;
    bytes[Style] = record.style;
    return bytes;
}

namespace {

constexpr int FirstSeason = 1871;

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound - 1
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int perThousand) { return below(1000) < perThousand; }
    template <std::size_t N>
    const char* pick(const char* const (&items)[N])
    {
        return items[below(static_cast<int>(N))];
    }

private:
    std::uint64_t state_;
};

const char* const FirstNames[] = {
    "Abe",  "Al",    "Amos",   "Art",    "Bart", "Ben",   "Bill",  "Bo",    "Buck",  "Burt", "Cal",    "Carl",
    "Chet", "Clem",  "Cy",     "Dale",   "Dan",  "Del",   "Dewey", "Dom",   "Ed",    "Eli",  "Elmer",  "Emil",
    "Ezra", "Floyd", "Frank",  "Gabe",   "Gus",  "Hal",   "Hank",  "Herb",  "Ike",   "Ira",  "Jack",   "Jake",
    "Jed",  "Joe",   "Josiah", "Juan",   "Kurt", "Lefty", "Lem",   "Lou",   "Luis",  "Mack", "Marty",  "Mel",
    "Milt", "Ned",   "Nils",   "Otto",   "Pat",  "Pete",  "Ray",   "Red",   "Rube",  "Sal",  "Sam",    "Silas",
    "Ted",  "Tito",  "Tom",    "Ulysses", "Vic", "Walt",  "Wes",   "Zack",  "Zeke",  "Ty",   "Jo-Jo",  "Chuck",
    // Windows-1252, as the game's files hold them.
    "Jos\xE9", "Ren\xE9", "Andr\xE9s", "Ra\xFAl", "J\xFCrgen", "\xC1ngel", "Fran\xE7ois",
};

// Accents inside the name: a last name whose first byte is above "z" is not a valid record.
const char* const AccentedSurnames[] = {
    "Pe\xF1" "a", "N\xFA\xF1" "ez", "M\xFCller", "Ib\xE1\xF1" "ez", "Mu\xF1oz", "Jim\xE9nez",
    "Garc\xED" "a", "Sch\xF6n", "Fran\xE7ois", "Dvo\x9A\xE1k", "Bj\xF6rk", "Ord\xF3\xF1" "ez",
};

const char* const Nicknames[] = {"\"Doc\"", "\"Kid\"", "\"Smoky\"", "\"Lefty\"", "\"Dutch\""};

const char* const Syllables[] = {
    "al",  "an",  "bar", "ber", "bran", "cal", "cor", "dal", "den", "dor", "el",  "fen", "gar", "gil",
    "han", "har", "ing", "kel", "ker",  "lan", "ley", "lin", "man", "mar", "mor", "ner", "ram", "ris",
    "rod", "son", "ster", "tan", "ton", "vel", "ver", "wick", "win", "wood", "ya",  "zel",
};

const char* const Prefixes[] = {"O'", "Mc", "Mac", "de la ", "Van ", "St. ", "Di"};

std::string Capitalized(std::string word)
{
    word[0] = static_cast<char>(word[0] - 'a' + 'A');
    return word;
}

std::string MadeUpSurname(Random& random)
{
    if (random.chance(40))
        return random.pick(AccentedSurnames);
    std::string stem;
    for (int syllables = random.between(1, 3); syllables > 0; --syllables)
        stem += random.pick(Syllables);
    std::string name = random.chance(60) ? random.pick(Prefixes) : "";
    name += Capitalized(stem);
    if (random.chance(15)) {
        name += '-';
        name += Capitalized(random.pick(Syllables));
    }
    if (random.chance(6))
        name += ", Jr.";
    return name;
}

// A few common names make most of the people, as in real rosters: the square
// of a uniform draw favours the front of the list.
int Skewed(Random& random, int bound)
{
    std::uint64_t draw = random.next() % static_cast<std::uint64_t>(bound);
    return static_cast<int>(draw * draw / static_cast<std::uint64_t>(bound));
}

struct NamePool {
    std::vector<std::string> surnames;
    int uids = 0;
};

NamePool MakeNamePool(const SampleOptions& options)
{
    NamePool pool;
    if (!options.repeatedNames)
        return pool;
    Random random(options.seed ^ 0x5EEDull);
    for (int i = 0; i < 400; ++i)
        pool.surnames.push_back(MadeUpSurname(random));
    pool.uids = 3000;
    return pool;
}

MasterPlayerRecord MadeUpPlayer(Random& random, std::int64_t index, int lastSeason, const NamePool& pool)
{
    MasterPlayerRecord player;
    if (pool.surnames.empty()) {
        player.uid = static_cast<std::int16_t>(index % 32767 + 1);
        player.firstName = random.chance(8) ? random.pick(Nicknames) : random.pick(FirstNames);
        player.lastName = MadeUpSurname(random);
    } else {
        player.uid = static_cast<std::int16_t>(Skewed(random, pool.uids) + 1);
        player.firstName = FirstNames[Skewed(random, static_cast<int>(std::size(FirstNames)))];
        player.lastName = pool.surnames[static_cast<std::size_t>(Skewed(random, static_cast<int>(pool.surnames.size())))];
    }
    if (random.chance(20))
        player.extraText = "Hall of Fame";

    player.debutYear = static_cast<std::int16_t>(random.between(FirstSeason, lastSeason));
    int career = random.chance(250) ? 0 : random.between(1, 22);
    player.finalYear = static_cast<std::int16_t>(std::min(lastSeason, player.debutYear + career));
    if (!random.chance(10)) {
        player.birthYear = static_cast<std::int16_t>(player.debutYear - random.between(17, 27));
        player.birthMonth = static_cast<std::uint8_t>(random.between(1, 12));
        player.birthDay = static_cast<std::uint8_t>(random.between(1, 28));
    }

    int roleDraw = random.below(100);
    player.role = static_cast<std::uint8_t>(roleDraw < 47 ? 2 : roleDraw < 96 ? 1 : roleDraw < 98 ? 0 : 3);
    player.bats = static_cast<std::uint8_t>(random.chance(15) ? 0 : random.between(1, 3));
    player.throws = static_cast<std::uint8_t>(random.chance(15) ? 0 : random.between(1, 2));
    if (player.role != 2) {
        player.position = static_cast<std::uint8_t>(random.chance(5) ? random.between(0, 255) : random.between(2, 10));
        return player;
    }
    player.position = 1;
    player.armAngle = static_cast<std::uint8_t>(random.chance(2) ? random.between(7, 255) : random.between(0, 6));
    player.velocity = static_cast<std::uint8_t>(random.chance(2) ? random.between(6, 255) : random.between(0, 5));
    player.style = static_cast<std::uint8_t>(random.chance(2) ? random.between(6, 255) : random.between(0, 5));
    player.outPitch = static_cast<std::uint8_t>(random.chance(2) ? random.between(13, 255) : random.between(0, 12));
    for (auto& flag : player.pitchFlags)
        flag = static_cast<std::uint8_t>(random.chance(3) ? random.between(2, 3) : random.chance(350));
    return player;
}

// About one record in fifty is deleted or otherwise not a valid record.
void Spoil(Random& random, MasterRecordBytes& bytes)
{
    switch (random.below(6)) {
    case 0:
    case 1:
        PutInt16(bytes, MasterField::Status, 1);
        break;
    case 2:
        PutInt16(bytes, MasterField::Uid, static_cast<std::int16_t>(-random.between(0, 32768)));
        break;
    case 3:
        bytes[MasterField::LastName] = '_';
        break;
    case 4:
        bytes[MasterField::LastName] = static_cast<unsigned char>(random.between(0x7B, 0xFF));
        break;
    default:
        PutRawText(bytes, MasterField::LastName, MasterField::LastNameWidth, "[Retired]");
        break;
    }
}

}  // namespace

void GenerateSampleMaster(const SampleOptions& options, const std::function<void(std::string_view)>& sink)
{
    int lastSeason = options.lastSeason > 0 ? options.lastSeason : files::CurrentYear();
    Random random(options.seed);
    NamePool pool = MakeNamePool(options);
    constexpr std::int64_t RecordsPerPiece = 4096;
    std::string piece;
    piece.reserve(RecordsPerPiece * MasterRecordSize);
    MasterRecordBytes bytes{};
    for (std::int64_t index = 0; index < options.records; ++index) {
        if (!options.onePlayer || index == 0) {
            bytes = EncodeMasterRecord(MadeUpPlayer(random, index, lastSeason, pool));
            if (!options.onePlayer && random.chance(20))
                Spoil(random, bytes);
        }
        piece.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (piece.size() >= RecordsPerPiece * MasterRecordSize) {
            sink(piece);
            piece.clear();
        }
    }
    if (!piece.empty())
        sink(piece);
}

std::string SampleMasterBytes(const SampleOptions& options)
{
    std::string bytes;
    GenerateSampleMaster(options, [&bytes](std::string_view piece) { bytes.append(piece); });
    return bytes;
}
