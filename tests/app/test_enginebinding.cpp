#include <QFile>
#include <QTest>

#include "app/enginebinding.h"
#include "testenv.h"

class TestEngineBinding : public QObject {
    Q_OBJECT
private slots:
    void missingLibraryIsSilent() {
        TestEnv env;
        EngineBinding binding;
        QVERIFY(!binding.bind(env.programFolder()));
        QVERIFY(!binding.isLoaded());
    }

    void allTwelveNamesBindAndStayLoaded() {
        TestEnv env;
        QVERIFY(QFile::copy(QStringLiteral(ENGINE12), env.programFolder() + "png_draw_2041.dll"));
        EngineBinding binding;
        QVERIFY(binding.bind(env.programFolder()));
        QVERIFY(binding.isLoaded());
        for (int i = 0; i < EngineBinding::entryCount; ++i)
            QVERIFY2(binding.entry(i), EngineBinding::entryNames[i]);
        // A second call changes nothing.
        QVERIFY(binding.bind(QStringLiteral("/nonexistent/")));
    }

    void elevenNamesAreUnloadedAgain() {
        TestEnv env;
        QVERIFY(QFile::copy(QStringLiteral(ENGINE11), env.programFolder() + "png_draw_2041.dll"));
        EngineBinding binding;
        QVERIFY(!binding.bind(env.programFolder()));
        QVERIFY(!binding.isLoaded());
        // The slots keep what was found; only the twelfth is missing.
        for (int i = 0; i < 11; ++i)
            QVERIFY(binding.entry(i));
        QVERIFY(!binding.entry(11));
    }
};

QTEST_GUILESS_MAIN(TestEngineBinding)
#include "test_enginebinding.moc"
