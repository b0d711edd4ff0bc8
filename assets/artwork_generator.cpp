// Draws the program's artwork: the skin button files (three bands each: normal, hover, pressed),
// the progress-bar parts, and the JPEG pictures of the windows.
// Usage: vz-artgen <skin folder> <picture folder>

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>

namespace {

// One colour scheme for everything.
const QColor navy(0x1b, 0x2a, 0x47);
const QColor navyLight(0x2c, 0x40, 0x66);
const QColor accent(0x2f, 0x80, 0xed);
const QColor accentLight(0x5a, 0x9c, 0xf5);
const QColor accentDark(0x1c, 0x5c, 0xb8);
const QColor paper(0xf2, 0xf5, 0xfa);
const QColor ink(0x1b, 0x2a, 0x47);
const QColor green(0x35, 0xb5, 0x5a);

QFont font(int pixels, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

enum class Icon { None, Scan, Results, History, Database, Close, Minimize, Menu, Folder, Drive };

void drawIcon(QPainter &p, Icon icon, const QRectF &box, const QColor &c) {
    p.save();
    QPen pen(c, 2.5);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF m = box.center();
    const qreal s = std::min(box.width(), box.height()) / 2;
    switch (icon) {
        case Icon::Scan:  // magnifier
            p.drawEllipse(QPointF(m.x() - s * 0.15, m.y() - s * 0.15), s * 0.55, s * 0.55);
            p.drawLine(QPointF(m.x() + s * 0.25, m.y() + s * 0.25),
                       QPointF(m.x() + s * 0.8, m.y() + s * 0.8));
            break;
        case Icon::Results:  // check list
            for (int i = 0; i < 3; ++i) {
                const qreal y = m.y() - s * 0.6 + i * s * 0.6;
                p.drawLine(QPointF(m.x() - s * 0.3, y), QPointF(m.x() + s * 0.8, y));
                p.drawPoint(QPointF(m.x() - s * 0.7, y));
            }
            break;
        case Icon::History:  // clock
            p.drawEllipse(m, s * 0.8, s * 0.8);
            p.drawLine(m, QPointF(m.x(), m.y() - s * 0.5));
            p.drawLine(m, QPointF(m.x() + s * 0.4, m.y()));
            break;
        case Icon::Database: {  // shield
            QPainterPath path;
            path.moveTo(m.x(), m.y() - s * 0.85);
            path.lineTo(m.x() + s * 0.7, m.y() - s * 0.55);
            path.quadTo(m.x() + s * 0.7, m.y() + s * 0.5, m.x(), m.y() + s * 0.9);
            path.quadTo(m.x() - s * 0.7, m.y() + s * 0.5, m.x() - s * 0.7, m.y() - s * 0.55);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case Icon::Close:
            p.drawLine(QPointF(m.x() - s * 0.4, m.y() - s * 0.4),
                       QPointF(m.x() + s * 0.4, m.y() + s * 0.4));
            p.drawLine(QPointF(m.x() + s * 0.4, m.y() - s * 0.4),
                       QPointF(m.x() - s * 0.4, m.y() + s * 0.4));
            break;
        case Icon::Minimize:
            p.drawLine(QPointF(m.x() - s * 0.45, m.y() + s * 0.3),
                       QPointF(m.x() + s * 0.45, m.y() + s * 0.3));
            break;
        case Icon::Menu:
            for (int i = -1; i <= 1; ++i)
                p.drawLine(QPointF(m.x() - s * 0.45, m.y() + i * s * 0.35),
                           QPointF(m.x() + s * 0.45, m.y() + i * s * 0.35));
            break;
        case Icon::Folder: {
            QPainterPath path;
            path.moveTo(m.x() - s * 0.8, m.y() + s * 0.6);
            path.lineTo(m.x() - s * 0.8, m.y() - s * 0.6);
            path.lineTo(m.x() - s * 0.2, m.y() - s * 0.6);
            path.lineTo(m.x(), m.y() - s * 0.35);
            path.lineTo(m.x() + s * 0.8, m.y() - s * 0.35);
            path.lineTo(m.x() + s * 0.8, m.y() + s * 0.6);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case Icon::Drive:
            p.drawRoundedRect(QRectF(m.x() - s * 0.85, m.y() - s * 0.45, s * 1.7, s * 0.9), 3, 3);
            p.drawPoint(QPointF(m.x() + s * 0.5, m.y()));
            break;
        case Icon::None:
            break;
    }
    p.restore();
}

struct ButtonArt {
    int index;
    int width, height;
    const char *caption;
    Icon icon;
    bool title;  // small title-bar button on the dark window background
};

// Sizes are those of the controls that show each button.
const ButtonArt buttons[] = {
    {1, 105, 89, "Scan", Icon::Scan, false},
    {2, 105, 89, "Results", Icon::Results, false},
    {3, 105, 89, "History", Icon::History, false},
    {4, 105, 89, "Virus Database", Icon::Database, false},
    {5, 25, 25, "", Icon::Close, true},
    {6, 25, 25, "", Icon::Minimize, true},
    {7, 25, 25, "", Icon::Menu, true},
    {8, 25, 25, "", Icon::None, true},
    {9, 233, 81, "Custom Scan", Icon::Folder, false},
    {10, 233, 81, "Full Scan", Icon::Drive, false},
    {11, 105, 33, "Start Scan", Icon::None, false},
    {12, 105, 33, "Pause", Icon::None, false},
    {13, 105, 33, "Resume", Icon::None, false},
    {14, 105, 33, "Stop", Icon::None, false},
    {15, 105, 33, "Remove", Icon::None, false},
    {16, 105, 33, "Yes", Icon::None, false},
    {17, 105, 33, "No", Icon::None, false},
    {18, 105, 33, "", Icon::None, false},
    {19, 105, 33, "", Icon::None, false},
    {20, 105, 33, "", Icon::None, false},
    {21, 105, 33, "", Icon::None, false},
    {22, 105, 33, "", Icon::None, false},
    {23, 105, 33, "Close", Icon::None, false},
    {24, 105, 33, "Remove", Icon::None, false},
    {25, 113, 33, "Don't Remove", Icon::None, false},
    {26, 105, 33, "Close", Icon::None, false},
    {27, 105, 25, "Restore", Icon::None, false},
    {28, 105, 25, "Restore to...", Icon::None, false},
    {29, 105, 25, "Check Now", Icon::None, false},
    {30, 105, 25, "Settings", Icon::None, false},
    {31, 105, 33, "Yes", Icon::None, false},
    {32, 105, 33, "No", Icon::None, false},
    {33, 105, 33, "Close", Icon::None, false},
    {34, 105, 33, "Cancel", Icon::None, false},
    {35, 105, 33, "OK", Icon::None, false},
    {36, 105, 33, "Cancel", Icon::None, false},
    {37, 105, 33, "OK", Icon::None, false},
};

void drawButtonBand(QPainter &p, const ButtonArt &b, int band, int top) {
    const QRectF r(0.5, top + 0.5, b.width - 1.0, b.height - 1.0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (b.title) {
        p.fillRect(QRect(0, top, b.width, b.height), navy);
        const QColor fill = band == 0 ? navy : band == 1 ? navyLight : accentDark;
        p.setPen(Qt::NoPen);
        p.setBrush(b.index == 5 && band > 0 ? QColor(0xd0, 0x3b, 0x3b) : fill);
        p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 4, 4);
        drawIcon(p, b.icon, r.adjusted(5, 5, -5, -5), Qt::white);
        p.restore();
        return;
    }
    // The navigation column sits on the dark window background, the rest on light pages.
    const QColor behind = b.index <= 4 ? QColor(0x23, 0x35, 0x57) : paper;
    p.fillRect(QRect(0, top, b.width, b.height), behind);
    QLinearGradient g(0, top, 0, top + b.height);
    if (band == 0) {
        g.setColorAt(0, accentLight);
        g.setColorAt(1, accent);
    } else if (band == 1) {
        g.setColorAt(0, accentLight.lighter(115));
        g.setColorAt(1, accentLight);
    } else {
        g.setColorAt(0, accentDark);
        g.setColorAt(1, accent.darker(110));
    }
    p.setPen(QPen(accentDark, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 5, 5);
    p.setPen(Qt::white);
    const QPointF shift = band == 2 ? QPointF(1, 1) : QPointF(0, 0);
    const QString caption = QString::fromUtf8(b.caption);
    if (b.icon != Icon::None) {
        const bool tall = b.height > b.width * 0.6;
        const QRectF iconBox = tall ? QRectF(r.center().x() - 20, top + 10, 40, 40)
                                    : QRectF(14, top + b.height / 2.0 - 20, 40, 40);
        drawIcon(p, b.icon, iconBox.translated(shift), Qt::white);
        p.setPen(Qt::white);
        p.setFont(font(tall ? 12 : 17, true));
        const QRectF text =
            tall ? QRectF(2, top + 56, b.width - 4, 28) : QRectF(64, top, b.width - 70, b.height);
        p.drawText(text.translated(shift), Qt::AlignCenter | Qt::TextWordWrap, caption);
    } else {
        p.setFont(font(b.height <= 25 ? 11 : 12, true));
        p.drawText(r.translated(shift), Qt::AlignCenter, caption);
    }
    p.restore();
}

bool save(const QImage &image, const QString &path, const char *format) {
    if (!image.save(path, format, format[0] == 'J' ? 92 : -1)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool drawSkin(const QString &dir) {
    bool ok = true;
    for (const ButtonArt &b : buttons) {
        QImage img(b.width, b.height * 3, QImage::Format_RGB32);
        QPainter p(&img);
        for (int band = 0; band < 3; ++band)
            drawButtonBand(p, b, band, band * b.height);
        p.end();
        ok &= save(img, dir + QStringLiteral("/img%1.png").arg(b.index), "PNG");
    }
    // Progress bar: left cap, right cap and track stacked, each 6 x 13; the fill whole.
    QImage caps(6, 39, QImage::Format_RGB32);
    caps.fill(paper);
    {
        QPainter p(&caps);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc9, 0xd2, 0xe0));
        p.drawRoundedRect(QRectF(0, 0, 12, 13), 5, 5);    // left cap: left half
        p.drawRoundedRect(QRectF(-6, 13, 12, 13), 5, 5);  // right cap: right half
        p.fillRect(QRect(0, 26, 6, 13), QColor(0xc9, 0xd2, 0xe0));
        p.fillRect(QRect(0, 28, 6, 9), QColor(0xe4, 0xe9, 0xf1));  // track groove
    }
    ok &= save(caps, dir + QStringLiteral("/timg1.png"), "PNG");
    QImage fill(593, 13, QImage::Format_RGB32);
    {
        QPainter p(&fill);
        QLinearGradient g(0, 0, 0, 13);
        g.setColorAt(0, green.lighter(125));
        g.setColorAt(1, green.darker(110));
        p.fillRect(fill.rect(), g);
    }
    ok &= save(fill, dir + QStringLiteral("/timg1f.png"), "PNG");
    return ok;
}

// The windows' navy backdrop over the whole image, lighter at the top and reaching full navy
// `rows` pixels down (the main window's height for pieces that sit on it).
void fillNavy(QPainter &p, const QImage &img, int rows) {
    QLinearGradient g(0, 0, 0, rows);
    g.setColorAt(0, navyLight);
    g.setColorAt(1, navy);
    p.fillRect(img.rect(), g);
}

QImage heading(int w, int h, const QString &text, bool onDark = false) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(onDark ? navy : paper);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(onDark ? Qt::white : ink);
    p.setFont(font(h >= 38 ? 18 : 16, true));
    p.drawText(QRect(8, 0, w - 8, h - 4), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.fillRect(QRect(8, h - 4, w - 16, 2), accent);
    return img;
}

QImage mainBackground() {
    QImage img(792, 442, QImage::Format_RGB32);
    QPainter p(&img);
    fillNavy(p, img, 442);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::white);
    p.setFont(font(20, true));
    p.drawText(QRect(140, 4, 400, 36), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Vizavuz AntiVirus"));
    p.fillRect(QRect(130, 40, 650, 2), accent);
    return img;
}

QImage logo() {
    QImage img(121, 65, QImage::Format_RGB32);
    QPainter p(&img);
    fillNavy(p, img, 442);  // matches the window background behind it
    p.setRenderHint(QPainter::Antialiasing);
    drawIcon(p, Icon::Database, QRectF(6, 10, 44, 44), accentLight);
    p.setPen(Qt::white);
    p.setFont(font(15, true));
    p.drawText(QRect(50, 14, 70, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vizavuz"));
    p.setFont(font(10, false));
    p.drawText(QRect(50, 34, 70, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("AntiVirus"));
    return img;
}

QImage plain(int w, int h, const QColor &c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

QImage headerBar() {
    QImage img(649, 33, QImage::Format_RGB32);
    QPainter p(&img);
    fillNavy(p, img, 33);
    p.setPen(Qt::white);
    p.setFont(font(12, true));
    p.drawText(QRect(10, 0, 200, 33), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Threat"));
    // Over the lists' columns: threat names at +10, paths at +280.
    p.drawText(QRect(280, 0, 360, 33), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("File"));
    return img;
}

QImage dialogBackground() {
    QImage img(367, 270, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(img.rect(), paper);
    p.setPen(QPen(navy, 2));
    p.drawRect(QRectF(1, 1, 365, 268));
    return img;
}

QImage dialogTitle(int w, int h, const QString &text) {
    return heading(w, h, text);
}

QImage splash() {
    QImage img(239, 340, QImage::Format_RGB32);
    QPainter p(&img);
    fillNavy(p, img, 340);
    p.setRenderHint(QPainter::Antialiasing);
    drawIcon(p, Icon::Database, QRectF(59, 50, 120, 120), accentLight);
    p.setPen(Qt::white);
    p.setFont(font(24, true));
    p.drawText(QRect(0, 190, 239, 34), Qt::AlignCenter, QStringLiteral("Vizavuz"));
    p.setFont(font(16, false));
    p.drawText(QRect(0, 226, 239, 26), Qt::AlignCenter, QStringLiteral("AntiVirus"));
    p.setFont(font(10, false));
    p.setPen(QColor(0xc9, 0xd2, 0xe0));
    p.drawText(QRect(0, 300, 239, 20), Qt::AlignCenter, QStringLiteral("powered by ClamAV"));
    return img;
}

bool drawPictures(const QString &dir) {
    struct Item {
        const char *name;
        QImage image;
    };
    const Item items[] = {
        {"main_background.jpg", mainBackground()},
        {"logo.jpg", logo()},
        {"page_background.jpg", plain(649, 377, paper)},
        {"header_bar.jpg", headerBar()},
        {"scan_toolbar_end.jpg", plain(129, 33, paper)},
        {"heading_scan.jpg", heading(257, 38, QStringLiteral("Choose a Scan"))},
        {"heading_last_scan.jpg", heading(265, 38, QStringLiteral("Last Scan Results"))},
        {"heading_history.jpg", heading(265, 38, QStringLiteral("Scan History"))},
        {"heading_statistics.jpg", heading(265, 38, QStringLiteral("Statistics"))},
        {"heading_database.jpg", heading(201, 38, QStringLiteral("Virus Database"))},
        {"heading_quarantine.jpg", heading(273, 38, QStringLiteral("Quarantined Files"))},
        {"splash.jpg", splash()},
        {"dialog_background.jpg", dialogBackground()},
        {"dialog_TForm3_title.jpg", dialogTitle(265, 41, QStringLiteral("Stop Scanning?"))},
        {"dialog_TForm6_title.jpg", dialogTitle(217, 33, QStringLiteral("Removal Results"))},
        {"dialog_TForm7_title.jpg", dialogTitle(265, 41, QStringLiteral("Removing Infections"))},
        {"dialog_TForm8_title.jpg", dialogTitle(289, 41, QStringLiteral("Virus Database Update"))},
        {"dialog_TForm11_title.jpg", dialogTitle(265, 41, QStringLiteral("Infections Found"))},
        {"dialog_TForm14_title.jpg", dialogTitle(265, 41, QStringLiteral("Download Failed"))},
        {"dialog_TForm15_title.jpg", dialogTitle(289, 41, QStringLiteral("Update Available"))},
        {"dialog_TForm16_title.jpg", dialogTitle(237, 41, QStringLiteral("Custom Scan"))},
        {"dialog_TForm17_title.jpg", dialogTitle(265, 41, QStringLiteral("No Infections Found"))},
        {"dialog_message_title.jpg", dialogTitle(265, 41, QStringLiteral("Vizavuz AntiVirus"))},
        {"dialog_ScanSettingsDialog_title.jpg",
         dialogTitle(265, 41, QStringLiteral("Scan Settings"))},
        {"dialog_ScanLogWindow_title.jpg", dialogTitle(265, 41, QStringLiteral("Scan Log"))},
        {"dialog_ScheduleWindow_title.jpg", dialogTitle(265, 41, QStringLiteral("Scheduled Scan"))},
    };
    bool ok = true;
    for (const Item &item : items)
        ok &= save(item.image, dir + QLatin1Char('/') + QString::fromUtf8(item.name), "JPG");
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vz-artgen <skin folder> <picture folder>\n");
        return 2;
    }
    const QString skinDir = QString::fromLocal8Bit(argv[1]);
    const QString artDir = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(skinDir) || !QDir().mkpath(artDir)) {
        std::fprintf(stderr, "cannot create the output folders\n");
        return 1;
    }
    return drawSkin(skinDir) && drawPictures(artDir) ? 0 : 1;
}
