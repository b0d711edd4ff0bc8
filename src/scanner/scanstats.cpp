#include "scanner/scanstats.h"

#include <clamav.h>

#include <cstdio>
#include <ctime>

namespace scanner {

namespace {

std::string dateText(long when) {
    const time_t t = static_cast<time_t>(when);
    struct tm local {};
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
    return text;
}

}  // namespace

std::string summaryText(const ScanStats &stats, unsigned signatures, const char *engineVersion,
                        double seconds, long startTime, long endTime) {
    std::string text = "----------- SCAN SUMMARY -----------\n";
    char line[256];
    auto add = [&](int length) {
        if (length > 0)
            text.append(line, static_cast<size_t>(length) < sizeof line ? length : sizeof line - 1);
    };
    add(snprintf(line, sizeof line, "Known viruses: %u\n", signatures));
    add(snprintf(line, sizeof line, "Engine version: %s\n", engineVersion));
    add(snprintf(line, sizeof line, "Scanned directories: %u\n", stats.dirs.load()));
    add(snprintf(line, sizeof line, "Scanned files: %u\n", stats.files.load()));
    add(snprintf(line, sizeof line, "Infected files: %u\n", stats.infected.load()));
    if (stats.errors > 0)
        add(snprintf(line, sizeof line, "Total errors: %u\n", stats.errors.load()));
    const double scanned =
        static_cast<double>(stats.blocksScanned) * (CL_COUNT_PRECISION / 1024) / 1024.0;
    const double read =
        static_cast<double>(stats.blocksRead) * (CL_COUNT_PRECISION / 1024) / 1024.0;
    add(snprintf(line, sizeof line, "Data scanned: %2.2lf MB\n", scanned));
    add(snprintf(line, sizeof line, "Data read: %2.2lf MB (ratio %.2f:1)\n", read,
                 read > 0 ? scanned / read : 0.0));
    const auto millis = static_cast<unsigned long>(seconds * 1000.0);
    const unsigned long whole = millis / 1000;
    add(snprintf(line, sizeof line, "Time: %lu.%3.3lu sec (%lu m %lu s)\n", whole, millis % 1000,
                 whole / 60, whole % 60));
    text += "Start Date: " + dateText(startTime) + '\n';
    text += "End Date:   " + dateText(endTime);
    return text;
}

}  // namespace scanner
