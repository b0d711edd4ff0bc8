#include <memory>

#include <QDir>
#include <QFile>
#include <QTest>

#include "platform/dirlist.h"
#include "state/infectionlist.h"
#include "scan/linesplitter.h"
#include "scan/outputparser.h"
#include "scan/scanlist.h"
#include "state/scansession.h"
#include "testenv.h"

namespace {

QList<QByteArray> splitInChunks(const QByteArray &output, const QList<int> &cuts) {
    LineSplitter splitter;
    QList<QByteArray> lines;
    int from = 0;
    for (int cut : cuts) {
        splitter.feed(QByteArrayView(output).sliced(from, cut - from),
                      [&](QByteArrayView line) { lines << line.toByteArray(); });
        from = cut;
    }
    splitter.feed(QByteArrayView(output).sliced(from),
                  [&](QByteArrayView line) { lines << line.toByteArray(); });
    return lines;
}

// A parser over its own session, list and scan list; folders are listed from a map.
struct Rig {
    ScanSession session;
    std::unique_ptr<InfectionList> infections = std::make_unique<InfectionList>();
    ScanList scanList;
    OutputParser parser{session, *infections, scanList};
    int listings = 0;

    Rig() {
        parser.setLister([this](const QByteArray &) {
            ++listings;
            return QList<QByteArray>();
        });
    }
    void line(const QByteArray &text) {
        parser.handleLine(text);
        parser.publish();
    }
};

}  // namespace

class TestOutputParser : public QObject {
    Q_OBJECT
private slots:
    void splitterGivesTheSameLinesForEveryCut() {
        const QByteArray output =
            "/a/b.txt: OK\r\n/a/c: Eicar FOUND\n\n/d/e: OK\r\rlast\r\n"
            "/f g/h: OK\n----------- SCAN SUMMARY -----------\nScanned files: 3\n";
        const QList<QByteArray> expected = {"/a/b.txt: OK",
                                            "/a/c: Eicar FOUND",
                                            "/d/e: OK",
                                            "",
                                            "last",
                                            "/f g/h: OK",
                                            "----------- SCAN SUMMARY -----------",
                                            "Scanned files: 3"};
        QCOMPARE(splitInChunks(output, {}), expected);
        // Every single cut and every pair of cuts, CR and LF parted included.
        for (int a = 0; a <= output.size(); ++a) {
            QCOMPARE(splitInChunks(output, {a}), expected);
            for (int b = a; b <= output.size(); b += 3)
                QCOMPARE(splitInChunks(output, {a, b}), expected);
        }
        // One byte at a time.
        QList<int> all;
        for (int i = 1; i < output.size(); ++i)
            all << i;
        QCOMPARE(splitInChunks(output, all), expected);
    }

    void splitterKeepsAnUnterminatedTailForTheNextChunk() {
        LineSplitter splitter;
        QList<QByteArray> lines;
        const auto collect = [&](QByteArrayView l) { lines << l.toByteArray(); };
        splitter.feed("/x/y: O", collect);
        QVERIFY(lines.isEmpty());
        QCOMPARE(splitter.pending(), QByteArray("/x/y: O"));
        splitter.feed("K\n/z", collect);
        QCOMPARE(lines, QList<QByteArray>{"/x/y: OK"});
        splitter.finish(collect);
        QCOMPARE(lines, (QList<QByteArray>{"/x/y: OK", "/z"}));
    }

    // A line without end keeps only its start; the lines after it come out whole.
    void splitterMemoryStaysBoundedWithoutLineFeeds() {
        LineSplitter splitter;
        QList<QByteArray> lines;
        QList<bool> cut;
        const auto collect = [&](QByteArrayView l) {
            lines << l.toByteArray();
            cut << splitter.lineCut();
        };
        const QByteArray chunk(1024, 'x');
        for (int i = 0; i < 50 * 1024; ++i)
            splitter.feed(chunk, collect);
        QVERIFY(lines.isEmpty());
        QVERIFY(splitter.pending().size() <= LineSplitter::maxLine);
        splitter.feed("yy\r\n/a: OK\n", collect);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QByteArray(LineSplitter::maxLine, 'x'));
        QCOMPARE(lines.at(1), QByteArray("/a: OK"));
        QCOMPARE(cut, (QList<bool>{true, false}));
        // A cut line is never a result, even when its kept start looks like one.
        Rig rig;
        rig.parser.handleLine("/a/b: Eicar FOUND", true);
        rig.parser.handleLine("/a/c: OK", true);
        QCOMPARE(rig.parser.infectionCount(), 0);
        QCOMPARE(rig.parser.itemsScanned(), 0);
        QCOMPARE(rig.parser.cutLines(), 2);
    }

    void cleanAndInfectedLines() {
        Rig rig;
        rig.line("/x/a.txt: OK");
        QCOMPARE(rig.parser.itemsScanned(), 1);
        QCOMPARE(rig.session.status(), QStringLiteral("Scanning: /x/a.txt"));
        QCOMPARE(rig.session.scannedText(), QStringLiteral("Items Scanned: 1"));

        rig.line("/x/eicar.com: Eicar-Test-Signature FOUND");
        QCOMPARE(rig.parser.itemsScanned(), 1);
        QCOMPARE(rig.parser.infectionCount(), 1);
        QCOMPARE(rig.infections->count(), 1);
        QCOMPARE(rig.infections->record(1).filePath.bytes(), QByteArray("/x/eicar.com"));
        QCOMPARE(rig.infections->record(1).threatName.bytes(), QByteArray("Eicar-Test-Signature "));
        QCOMPARE(rig.infections->record(1).vaultPath.bytes(), QByteArray());
        QCOMPARE(rig.session.infectionRows(), 1);
        QCOMPARE(rig.session.foundText(), QStringLiteral("Infections Found: 1"));
        QCOMPARE(rig.session.status(), QStringLiteral("Scanning: /x/eicar.com"));
    }

    void verdictIsReadAfterTheLastSeparator() {
        Rig rig;
        // A folder named like the verdict is part of the path, not a detection.
        rig.line("/mnt/FOUND.000/file.chk: OK");
        QCOMPARE(rig.parser.infectionCount(), 0);
        QCOMPARE(rig.parser.itemsScanned(), 1);
        rig.line("/data/FOUND/x: OK");
        QCOMPARE(rig.parser.infectionCount(), 0);
        // A path holding ": " stays whole.
        rig.line("/home/u/notes: draft/evil.exe: Win.Trojan FOUND");
        QCOMPARE(rig.parser.infectionCount(), 1);
        QCOMPARE(rig.infections->record(1).filePath.bytes(),
                 QByteArray("/home/u/notes: draft/evil.exe"));
        QCOMPARE(rig.infections->record(1).threatName.bytes(), QByteArray("Win.Trojan "));
        QCOMPARE(rig.parser.lastDirectory(), QByteArray("/home/u/notes: draft/"));
        // "FOUND" must end the line.
        rig.line("/a/b: FOUNDATION OK");
        rig.line("FOUND: x");
        QCOMPARE(rig.parser.infectionCount(), 1);
    }

    void forgedAndExcludedDetectionsAreNotInfections() {
        Rig rig;
        rig.parser.setOwnDataFolders({"/home/u/.local/share/Vizavuz/"});
        // A file name holding a line break prints a relative "detection".
        rig.line("report.odt: Some.Threat FOUND");
        rig.line(": Some.Threat FOUND");
        QCOMPARE(rig.parser.infectionCount(), 0);
        // The program's own data folder (the vault) is never reported.
        rig.line("/home/u/.local/share/Vizavuz/virus_vault/1.vir: Eicar FOUND");
        QCOMPARE(rig.parser.infectionCount(), 0);
        QCOMPARE(rig.session.status(),
                 QStringLiteral("Scanning: /home/u/.local/share/Vizavuz/virus_vault/1.vir"));
        QCOMPARE(rig.parser.lastDirectory(),
                 QByteArray("/home/u/.local/share/Vizavuz/virus_vault/"));
        // A path that merely starts with the marker is still reported (the exclusion needs a
        // folder above it).
        rig.line("Vizavuz/a: Eicar FOUND");
        QCOMPARE(rig.parser.infectionCount(), 0);  // relative: forged
        QCOMPARE(rig.session.infectionRows(), 0);
        // Any other folder of that name is the user's.
        rig.line("/home/u/Downloads/Vizavuz/evil.exe: Eicar FOUND");
        rig.line("/home/u/.local/share/Vizavuz.old/a: Eicar FOUND");
        QCOMPARE(rig.parser.infectionCount(), 2);
    }

    void summaryWarningAndErrorLines() {
        Rig rig;
        rig.line("/x/a: OK");
        const int steps = rig.parser.directoryChanges();
        rig.line("----------- SCAN SUMMARY -----------");
        QCOMPARE(rig.parser.lastDirectory(), QByteArray());
        QCOMPARE(rig.parser.directoryChanges(), steps + 1);
        rig.line("Scanned files: 10");
        QCOMPARE(rig.session.status(), QStringLiteral("Scanning: Scanned files"));
        rig.line("");
        QCOMPARE(rig.session.status(), QStringLiteral("Scanning: "));
        QCOMPARE(rig.parser.directoryChanges(), steps + 1);
        rig.line("WARNING: /root/x: Can't access file");
        rig.line("/root/secret: Access denied. ERROR");
        rig.line("/root/closed: Can't open directory.");
        rig.line("ERROR: Can't open file or directory");
        rig.line("ERROR: second");
        QCOMPARE(rig.parser.unreadableFiles(), 3);
        QCOMPARE(rig.parser.firstError(), QByteArray("ERROR: Can't open file or directory"));
        QCOMPARE(rig.parser.itemsScanned(), 1);
        QCOMPARE(rig.parser.infectionCount(), 0);
    }

    void longPathsAndNames() {
        Rig rig;
        QByteArray path = "/";
        for (int i = 0; path.size() < 300; ++i)
            path += "d" + QByteArray::number(i % 10) + "/";
        path = path.left(295) + "f.exe";
        QCOMPARE(path.size(), 300);
        const QByteArray name60 = QByteArray("Threat.") + QByteArray(53, 'N');
        QCOMPARE(name60.size(), 60);
        rig.line(path + ": " + name60 + " FOUND");
        QCOMPARE(rig.infections->record(1).filePath.bytes(), path.left(255));
        QCOMPARE(rig.infections->fullPath(1), path);
        QCOMPARE(rig.infections->record(1).threatName.bytes(), name60.left(50));
        QCOMPARE(rig.session.status(),
                 QStringLiteral("Scanning: ") + QString::fromLatin1(path.left(255).right(64)));
        // The folder of a long path is the real one, not a cut one.
        QCOMPARE(rig.parser.lastDirectory(), path.left(295));
    }

    void moreThanTheListHoldsIsCounted() {
        Rig rig;
        for (int i = 0; i < 503; ++i)
            rig.parser.handleLine("/v/f" + QByteArray::number(i) + ": X FOUND");
        rig.parser.publish();
        QCOMPARE(rig.parser.infectionCount(), 500);
        QCOMPARE(rig.parser.foundBeyondList(), 3);
        QCOMPARE(rig.infections->count(), 500);
        QCOMPARE(rig.session.infectionRows(), 500);
        QCOMPARE(rig.session.foundText(), QStringLiteral("Infections Found: 500"));
        QCOMPARE(rig.infections->record(500).filePath.bytes(), QByteArray("/v/f499"));
    }

    void progressSteps() {
        Rig rig;
        rig.scanList.appendTarget("/a/");
        rig.scanList.appendTarget("/b/");
        rig.line("/a/1: OK");
        rig.line("/a/2: OK");
        QCOMPARE(rig.parser.directoryChanges(), 1);
        QCOMPARE(rig.listings, 1);
        QCOMPARE(rig.session.percentText(), QStringLiteral("50.00%"));
        QCOMPARE(rig.session.percent(), 50);
        rig.line("/b/1: OK");
        rig.line("/a/3: OK");
        rig.line("/b/2: OK");
        // Five changes over two entries would be 250%.
        rig.line("/c/2: OK");
        QCOMPARE(rig.parser.directoryChanges(), 5);
        QCOMPARE(rig.session.percentText(), QStringLiteral("73.01%"));
        QCOMPARE(rig.session.percent(), 73);
        QCOMPARE(OutputParser::progressRatio(1, 8), 12.5);
        QCOMPARE(OutputParser::progressRatio(1, 0), 73.01);
        // Halves round to the even neighbour.
        rig.scanList.clear();
        for (int i = 0; i < 8; ++i)
            rig.scanList.appendTarget("/t" + QByteArray::number(i) + "/");
        rig.parser.reset();
        rig.parser.progressStep();  // 12.5
        QCOMPARE(rig.session.percentText(), QStringLiteral("12.50%"));
        QCOMPARE(rig.session.percent(), 12);
    }

    void listerAppendsRealSubfolders() {
        TestEnv env;
        const QString root = env.root() + "tree/";
        QDir().mkpath(root + "sub one");
        QDir().mkpath(root + "sub2/deeper");
        QDir().mkpath(root + "other");
        TestEnv::writeFile(root + "noext", "x");
        TestEnv::writeFile(root + "file.txt", "x");
        QFile::link(root + "other", root + "linkdir");
        QList<QByteArray> names = platform::subdirectoryNames(QFile::encodeName(root));
        std::sort(names.begin(), names.end());
        QCOMPARE(names, (QList<QByteArray>{"other", "sub one", "sub2"}));
        QVERIFY(platform::subdirectoryNames("/no/such/folder").isEmpty());

        ScanSession session;
        auto infections = std::make_unique<InfectionList>();
        ScanList list;
        list.appendTarget(QFile::encodeName(root));
        list.appendTarget(QFile::encodeName(root) + "sub2/");
        OutputParser parser(session, *infections, list);
        parser.handleLine(QFile::encodeName(root) + "file.txt: OK");
        QCOMPARE(list.size(), 4);  // sub2/ was there already
        QList<QByteArray> added{list.at(2), list.at(3)};
        std::sort(added.begin(), added.end());
        QCOMPARE(added, (QList<QByteArray>{QFile::encodeName(root) + "other/",
                                           QFile::encodeName(root) + "sub one/"}));
    }

    void scanListKeepsOrderAndExactMatches() {
        ScanList list;
        QCOMPARE(list.lastIndex(), -1);
        QVERIFY(list.appendUnique("/a/"));
        QVERIFY(list.appendUnique("/A/"));
        QVERIFY(!list.appendUnique("/a/"));
        QVERIFY(list.appendUnique("/a"));
        // The user's targets go in as given, twice if chosen twice.
        QVERIFY(list.appendTarget("/a/"));
        QCOMPARE(list.lastIndex(), 3);
        QCOMPARE(list.entries(), (std::vector<QByteArray>{"/a/", "/A/", "/a", "/a/"}));
        list.clear();
        QCOMPARE(list.size(), 0);
        QVERIFY(!list.contains("/a/"));
    }
};

QTEST_GUILESS_MAIN(TestOutputParser)
#include "test_outputparser.moc"
