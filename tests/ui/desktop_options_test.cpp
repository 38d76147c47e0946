// The desktop program's command line: the options it takes, the faults it names, and the
// usage text that documents them.

#include <QtTest>

#include "ui/desktop_options.h"

using namespace zk;

class DesktopOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void accepts_data();
    void accepts();
    void refuses_data();
    void refuses();
    void usage_documents_the_options();
};

void DesktopOptionsTest::accepts_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("search");  // "address:port", or empty for none
    QTest::addColumn<QString>("tester_host");
    QTest::addColumn<QString>("home");
    QTest::newRow("nothing") << QStringList{} << ""
                             << "www.zelkora.net"
                             << "";
    QTest::newRow("gateway search")
        << QStringList{"--gateway-search", "127.0.0.1:41900"} << "127.0.0.1:41900"
        << "www.zelkora.net"
        << "";
    QTest::newRow("tester host and home")
        << QStringList{"--port-tester-host", "tester.example-1.org", "--home", "/tmp/z"} << ""
        << "tester.example-1.org"
        << "/tmp/z";
    QTest::newRow("Qt's own options pass") << QStringList{"-platform", "offscreen"} << ""
                                           << "www.zelkora.net"
                                           << "";
}

void DesktopOptionsTest::accepts() {
    QFETCH(QStringList, args);
    QFETCH(QString, search);
    QFETCH(QString, tester_host);
    QFETCH(QString, home);
    std::vector<std::string> arguments;
    for (const QString& a : args)
        arguments.push_back(a.toStdString());
    std::string error;
    const auto options = parse_desktop_options(arguments, error);
    QVERIFY2(options, error.c_str());
    const QString parsed_search = options->gateway_search
                                      ? QString::fromStdString(options->gateway_search->address) +
                                            ":" + QString::number(options->gateway_search->port)
                                      : QString();
    QCOMPARE(parsed_search, search);
    QCOMPARE(QString::fromStdString(options->port_tester_host), tester_host);
    QCOMPARE(QString::fromStdString(options->home.value_or("")), home);
    const UpnpOptions upnp = search_options(options->gateway_search);
    QCOMPARE(QString::fromStdString(upnp.search_address),
             search.isEmpty() ? QString("239.255.255.250") : search.section(':', 0, 0));
}

void DesktopOptionsTest::refuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    const QString form =
        "--gateway-search needs an IPv4 address and a port, such as 127.0.0.1:1900";
    QTest::newRow("search without value") << QStringList{"--gateway-search"} << form;
    QTest::newRow("search by host name")
        << QStringList{"--gateway-search", "router.lan:1900"} << form + ", not \"router.lan:1900\"";
    QTest::newRow("search without port")
        << QStringList{"--gateway-search", "127.0.0.1"} << form + ", not \"127.0.0.1\"";
    QTest::newRow("search port 0")
        << QStringList{"--gateway-search", "127.0.0.1:0"} << form + ", not \"127.0.0.1:0\"";
    QTest::newRow("tester host without value")
        << QStringList{"--port-tester-host"} << "--port-tester-host needs a host name";
    QTest::newRow("tester host with a path")
        << QStringList{"--port-tester-host", "evil.example/x?"}
        << "--port-tester-host needs a host name, such as www.zelkora.net, not "
           "\"evil.example/x?\"";
    QTest::newRow("tester host empty")
        << QStringList{"--port-tester-host", ""}
        << "--port-tester-host needs a host name, such as www.zelkora.net, not \"\"";
    QTest::newRow("unknown") << QStringList{"--router"} << "unknown option: --router";
}

void DesktopOptionsTest::refuses() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    std::vector<std::string> arguments;
    for (const QString& a : args)
        arguments.push_back(a.toStdString());
    std::string message;
    QVERIFY(!parse_desktop_options(arguments, message));
    QCOMPARE(QString::fromStdString(message), error);
}

void DesktopOptionsTest::usage_documents_the_options() {
    const QString usage = QString::fromStdString(desktop_usage());
    for (const char* text :
         {"--home DIR", "--gateway-search ADDRESS:PORT", "--port-tester-host HOST",
          "(default: www.zelkora.net)", "--help", "--version"}) {
        QVERIFY2(usage.contains(text), text);
    }
}

QTEST_MAIN(DesktopOptionsTest)
#include "desktop_options_test.moc"
