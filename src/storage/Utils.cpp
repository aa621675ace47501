#include "Utils.h"

#include <chrono>
#include <ctime>

double DateTimeNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&secs, &local);
    const double fraction =
        duration<double>(now.time_since_epoch()).count() - static_cast<double>(secs);
    const double localSeconds = static_cast<double>(secs) + local.tm_gmtoff + fraction;
    // 25569 days lie between 1899-12-30 and 1970-01-01.
    return localSeconds / 86400.0 + 25569.0;
}

void WriteShortText(const std::string& text, TMemoryStream& stream) {
    WriteShortString(stream, text);
}

std::uint32_t CycleColor(int number) {
    switch (number) {
    case 1:
        return 0x00FF00; // lime
    case 2:
        return 0x00FFFF; // aqua
    case 3:
        return 0x0000FF; // blue
    case 4:
        return 0xFFFF00; // yellow
    case 5:
        return 0xFF00FF; // fuchsia
    case 6:
        return 0x800000; // maroon
    case 7:
    case 14:
        return 0x808080; // gray
    case 8:
        return 0x808000; // olive
    case 9:
        return 0x800080; // purple
    case 10:
        return 0xFF0000; // red
    case 11:
        return 0x008080; // teal
    case 12:
    case 16:
        return 0xC0C0C0; // silver
    case 13:
        return 0x008000; // green
    case 15:
        return 0x000080; // navy
    default:
        return 0xFFFFFF; // white
    }
}
