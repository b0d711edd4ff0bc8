// The Debian package: made by CPack from this build tree, installed with dpkg on this very
// system, started from /usr/bin, validated with the desktop's own checkers, and removed again.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "testenv.h"

namespace {

const QString kPackage = QStringLiteral("vizavuz-antivirus");
const QString kProgramDir = QStringLiteral("/usr/lib/vizavuz-antivirus/");

struct Result {
    int code = -1;
    QString output;
};

Result run(const QString &program, const QStringList &arguments, int timeoutMs = 120000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("timed out: ") + program};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

// Width and height from a PNG file's IHDR chunk (big-endian, bytes 16 to 23).
QSize pngSize(const QString &path) {
    const QByteArray bytes = TestEnv::readFile(path);
    if (bytes.size() < 24 || !bytes.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)) ||
        bytes.mid(12, 4) != "IHDR")
        return {};
    auto be32 = [&bytes](int at) {
        return (quint32(quint8(bytes[at])) << 24) | (quint32(quint8(bytes[at + 1])) << 16) |
               (quint32(quint8(bytes[at + 2])) << 8) | quint32(quint8(bytes[at + 3]));
    };
    return QSize(int(be32(16)), int(be32(20)));
}

}  // namespace

class TestPackage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (run(QStringLiteral("id"), {QStringLiteral("-u")}).output.trimmed() !=
            QLatin1String("0"))
            QSKIP("installing a package needs root");
        QVERIFY(m_work.isValid());
        // Leave no earlier copy behind to test instead of this one.
        run(QStringLiteral("dpkg"), {QStringLiteral("-r"), kPackage});
    }

    void cleanupTestCase() {
        if (!m_installed)
            return;
        const Result removed = run(QStringLiteral("dpkg"), {QStringLiteral("-r"), kPackage});
        QVERIFY2(removed.code == 0, qPrintable(removed.output));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/bin/vizavuz-antivirus")));
        QVERIFY(!QFileInfo::exists(kProgramDir + QStringLiteral("vizavuz-antivirus")));
    }

    void build() {
        const Result made =
            run(QStringLiteral("cpack"),
                {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                 QStringLiteral(VZ_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                 m_work.path()},
                600000);
        QVERIFY2(made.code == 0, qPrintable(made.output));
        const QStringList debs =
            QDir(m_work.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = m_work.filePath(debs.first());

        const Result depends = run(QStringLiteral("dpkg-deb"),
                                   {QStringLiteral("-f"), m_deb, QStringLiteral("Depends")});
        QCOMPARE(depends.code, 0);
        const QStringList names = [&] {
            QStringList list;
            for (const QString &entry : depends.output.split(QLatin1Char(','), Qt::SkipEmptyParts))
                list.append(entry.trimmed().section(QLatin1Char(' '), 0, 0));
            return list;
        }();
        QVERIFY2(names.contains(QStringLiteral("clamav")), qPrintable(depends.output));
        QVERIFY2(names.contains(QStringLiteral("libclamav12")), qPrintable(depends.output));
        QVERIFY2(names.contains(QStringLiteral("libqt6widgets6")), qPrintable(depends.output));
        QVERIFY2(names.contains(QStringLiteral("libqt6core6")), qPrintable(depends.output));
    }

    void debianAcceptsThePackage() {
        QVERIFY(!m_deb.isEmpty());
        const Result checked = run(QStringLiteral("lintian"),
                                   {QStringLiteral("--fail-on"), QStringLiteral("error,warning"),
                                    QStringLiteral("--display-info"), m_deb},
                                   300000);
        // Both programs are built with Debian's hardening flags.
        QVERIFY2(!checked.output.contains(QLatin1String("hardening-no-")),
                 qPrintable(checked.output));
        QStringList tags;
        for (const QString &line : checked.output.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("E: ")) || line.startsWith(QLatin1String("W: ")))
                tags << line;
        QVERIFY2(checked.code == 0 && tags.isEmpty(), qPrintable(checked.output));
    }

    void install() {
        QVERIFY(!m_deb.isEmpty());
        const Result installed = run(QStringLiteral("dpkg"), {QStringLiteral("-i"), m_deb});
        m_installed = true;
        QVERIFY2(installed.code == 0, qPrintable(installed.output));

        const QFileInfo launcher(QStringLiteral("/usr/bin/vizavuz-antivirus"));
        QVERIFY(launcher.isSymLink());
        QCOMPARE(launcher.canonicalFilePath(), kProgramDir + QStringLiteral("vizavuz-antivirus"));
        QVERIFY(QFileInfo(launcher.canonicalFilePath()).isExecutable());
        QVERIFY(QFileInfo(kProgramDir + QStringLiteral("vizavuz-scan")).isExecutable());

        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString icon =
                QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/vizavuz-antivirus.png")
                    .arg(size);
            QCOMPARE(pngSize(icon), QSize(size, size));
        }
        // The skin: every button picture (three bands stacked) and the progress-bar parts.
        for (int n = 1; n <= 37; ++n) {
            const QSize size = pngSize(kProgramDir + QStringLiteral("bin/skin/img%1.png").arg(n));
            QVERIFY2(size.isValid() && size.height() % 3 == 0, qPrintable(QString::number(n)));
        }
        QCOMPARE(pngSize(kProgramDir + QStringLiteral("bin/skin/timg1.png")), QSize(6, 39));
        QCOMPARE(pngSize(kProgramDir + QStringLiteral("bin/skin/timg1f.png")), QSize(593, 13));
    }

    void desktopMetadataValidates() {
        QVERIFY(m_installed);
        const QString desktop =
            QStringLiteral("/usr/share/applications/net.vizavuz.antivirus.desktop");
        QVERIFY(QFileInfo::exists(desktop));
        const Result entry = run(QStringLiteral("desktop-file-validate"), {desktop});
        QVERIFY2(entry.code == 0 && entry.output.trimmed().isEmpty(), qPrintable(entry.output));
        const QString text = TestEnv::readFile(desktop);
        QVERIFY(text.contains(QStringLiteral("\nExec=vizavuz-antivirus %F\n")));
        QVERIFY(text.contains(QStringLiteral("\nIcon=vizavuz-antivirus\n")));
        // The file managers' actions hand the selection to the installed command line.
        for (const char *action :
             {"/usr/share/kio/servicemenus/net.vizavuz.antivirus.scan.desktop",
              "/usr/share/nemo/actions/vizavuz-antivirus.nemo_action",
              "/usr/share/file-manager/actions/net.vizavuz.antivirus.scan.desktop"})
            QVERIFY2(TestEnv::readFile(QString::fromLatin1(action))
                         .contains("\nExec=vizavuz-antivirus %F\n"),
                     action);

        const Result meta =
            run(QStringLiteral("appstreamcli"),
                {QStringLiteral("validate"), QStringLiteral("--no-net"),
                 QStringLiteral("/usr/share/metainfo/net.vizavuz.antivirus.metainfo.xml")});
        QVERIFY2(meta.code == 0, qPrintable(meta.output));
    }

    void installedProgramStarts() {
        QVERIFY(m_installed);
        TestEnv env;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), env.home());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), env.dataHome());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), env.configHome());
        environment.insert(QStringLiteral("VZ_STARTUP_TIMESTAMPS"), QStringLiteral("1"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral("vizavuz-antivirus"), {});
        QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));
        // The main window is shown (the splash came and went before it).
        QString output;
        QTRY_VERIFY_WITH_TIMEOUT((output += QString::fromLocal8Bit(program.readAll()))
                                     .contains(QStringLiteral("main_shown_ms")),
                                 20000);
        // Still up a second later, and start-up found every skin file.
        QVERIFY2(!program.waitForFinished(1000), qPrintable(output));
        output += QString::fromLocal8Bit(program.readAll());
        QVERIFY2(output.contains(QStringLiteral("splash_closed_ms")), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("Skin file missing")), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("bin/skin/")), qPrintable(output));
        // It runs from its own folder, where it looks for its skins.
        const QString exe =
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(program.processId())).symLinkTarget();
        QCOMPARE(exe, kProgramDir + QStringLiteral("vizavuz-antivirus"));
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
    }

private:
    QTemporaryDir m_work;
    QString m_deb;
    bool m_installed = false;
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
