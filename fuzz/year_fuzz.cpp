// The conversion of the typed years, on texts of any bytes.

#include "fuzz/FuzzChecks.h"
#include "listing/YearText.h"

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    double number = LeadingNumber(text);
    FUZZ_CHECK(!std::isnan(number));
    std::optional<std::int16_t> year = YearFromText(text);
    double whole = std::nearbyint(number);
    // A year is given exactly when the rounded number fits 16 bits, and is that number.
    FUZZ_CHECK(year.has_value() == (whole >= -32768.0 && whole <= 32767.0));
    if (year)
        FUZZ_CHECK(*year == whole);
    // Only 1869 to the current year pass the check.
    if (IsAcceptedYear(year, 2100))
        FUZZ_CHECK(whole >= 1869 && whole <= 2100);
    return 0;
}
