#pragma once

#include <QSize>

// The pictures built into the program's resources (drawn by assets/artwork_generator.cpp) and
// their sizes. The skin button files live in the program folder instead (bin/skin/).
namespace art {

struct Picture {
    const char *path;
    int width;
    int height;
    QSize size() const { return {width, height}; }
};

// Main window TForm1.
inline constexpr Picture mainBackground{":/art/main_background.jpg", 792, 442};  // Image1
inline constexpr Picture logo{":/art/logo.jpg", 121, 65};                        // Image2
// Page backgrounds Image13, Image14, Image21, Image22, Image23 (drawn stretched to the panel).
inline constexpr Picture pageBackground{":/art/page_background.jpg", 649, 377};
inline constexpr Picture headerBar{":/art/header_bar.jpg", 649, 33};             // Image29, Image30
inline constexpr Picture scanToolbarEnd{":/art/scan_toolbar_end.jpg", 129, 33};  // Image24
inline constexpr Picture headingScan{":/art/heading_scan.jpg", 257, 38};         // Image25
inline constexpr Picture headingLastScan{":/art/heading_last_scan.jpg", 265, 38};     // Image26
inline constexpr Picture headingHistory{":/art/heading_history.jpg", 265, 38};        // Image27
inline constexpr Picture headingStatistics{":/art/heading_statistics.jpg", 265, 38};  // Image28
inline constexpr Picture headingDatabase{":/art/heading_database.jpg", 201, 38};      // Image32
inline constexpr Picture headingQuarantine{":/art/heading_quarantine.jpg", 273, 38};  // Image33

// Splash TForm10.
inline constexpr Picture splash{":/art/splash.jpg", 239, 340};

// Skinned dialogs: one background (stretched to the client area) shared by the family, one
// title picture per window.
inline constexpr Picture dialogBackground{":/art/dialog_background.jpg", 367, 270};
inline constexpr Picture dialogTForm3Title{":/art/dialog_TForm3_title.jpg", 265, 41};
inline constexpr Picture dialogTForm6Title{":/art/dialog_TForm6_title.jpg", 217, 33};
inline constexpr Picture dialogTForm7Title{":/art/dialog_TForm7_title.jpg", 265, 41};
inline constexpr Picture dialogTForm8Title{":/art/dialog_TForm8_title.jpg", 289, 41};
inline constexpr Picture dialogTForm11Title{":/art/dialog_TForm11_title.jpg", 265, 41};
inline constexpr Picture dialogTForm14Title{":/art/dialog_TForm14_title.jpg", 265, 41};
inline constexpr Picture dialogTForm15Title{":/art/dialog_TForm15_title.jpg", 289, 41};
inline constexpr Picture dialogTForm16Title{":/art/dialog_TForm16_title.jpg", 237, 41};
inline constexpr Picture dialogTForm17Title{":/art/dialog_TForm17_title.jpg", 265, 41};
inline constexpr Picture dialogMessageTitle{":/art/dialog_message_title.jpg", 265, 41};
inline constexpr Picture dialogScanSettingsTitle{":/art/dialog_ScanSettingsDialog_title.jpg", 265,
                                                 41};
inline constexpr Picture dialogScanLogTitle{":/art/dialog_ScanLogWindow_title.jpg", 265, 41};
inline constexpr Picture dialogScheduleTitle{":/art/dialog_ScheduleWindow_title.jpg", 265, 41};

}  // namespace art
