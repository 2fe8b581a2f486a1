// Takes the documentation screenshots of the real windows: run under an X server
// (scripts/screenshots starts Xvfb) with a private settings folder, it builds the main window on
// the example device, serves a virtual port pair that a libmodbus master polls, and saves PNG files
// into the folder given as the only argument.

#include "Corvana/model/FaultRulePresets.h"
#include "Corvana/model/ModelDialogs.h"
#include "Corvana/model/PortScanner.h"
#include "Corvana/model/PortSelection.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/Logo.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/help/HelpWindow.h"
#include "Corvana/ui/log/ShowLogPreference.h"
#include "Corvana/ui/units/FaultRuleDialog.h"
#include "Corvana/ui/units/FaultRulesSection.h"
#include "Corvana/ui/window/DesktopApplication.h"
#include "Corvana/ui/window/MainWindow.h"
#include "Corvana/ui/window/WidgetDialogs.h"

#include "Localization/L10n.h"

#include "ModbusSerial/VirtualPortPair.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

#include <modbus.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string_view>
#include <thread>

namespace {

// Lists the virtual port as the only port, as a scanner would list an adapter.
class FixedScanner : public PortScanner {
public:
    explicit FixedScanner(std::string path)
        : path_(std::move(path)) {}
    void start() override { onChange(scan()); }
    std::vector<SerialPortInfo> scan() override {
        SerialPortInfo info;
        info.path = path_;
        return {info};
    }

private:
    std::string path_;
};

void wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
}

// The screen area of the widget's window, including popups open over it.
void save(QWidget* window, const QString& path, QWidget* extra = nullptr) {
    wait(300);
    QRect area = window->frameGeometry();
    if (extra != nullptr && extra->isVisible()) {
        area = area.united(extra->frameGeometry());
    }
    const QPixmap shot =
        window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (!shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    } else {
        std::printf("%s\n", qPrintable(path));
    }
}

template <class T>
T* child(QWidget* root, const char* name) {
    return root->findChild<T*>(QString::fromLatin1(name));
}

// A master on the other end of the pair: reads the example's registers, writes the setpoint
// now and then.
class Master {
public:
    explicit Master(const std::string& path)
        : thread_([this, path] { run(path); }) {}
    ~Master() {
        stop_ = true;
        thread_.join();
    }

private:
    void run(const std::string& path) {
        modbus_t* bus = modbus_new_rtu(path.c_str(), 9600, 'E', 8, 1);
        if (bus == nullptr || modbus_connect(bus) != 0) {
            std::fprintf(stderr, "master cannot open %s\n", path.c_str());
            return;
        }
        modbus_set_slave(bus, 1);
        modbus_set_response_timeout(bus, 0, 300'000);
        std::uint16_t registers[8];
        std::uint8_t bits[4];
        for (int round = 0; !stop_; ++round) {
            modbus_read_input_registers(bus, 0, 5, registers);
            modbus_read_registers(bus, 0, 2, registers);
            modbus_read_bits(bus, 0, 1, bits);
            if (round % 4 == 1) {
                modbus_write_register(bus, 0, static_cast<std::uint16_t>(200 + round % 50));
            }
            if (round % 9 == 4) {
                modbus_read_registers(bus, 40, 1, registers); // exception 02: no datapoint
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        }
        modbus_close(bus);
        modbus_free(bus);
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A Modbus TCP master on this computer: reads the example's registers in a loop.
class TCPMaster {
public:
    explicit TCPMaster(int port)
        : thread_([this, port] { run(port); }) {}
    ~TCPMaster() {
        stop_ = true;
        thread_.join();
    }

private:
    void run(int port) {
        modbus_t* bus = modbus_new_tcp("127.0.0.1", port);
        if (bus == nullptr || modbus_connect(bus) != 0) {
            std::fprintf(stderr, "TCP master cannot connect to port %d\n", port);
            modbus_free(bus);
            return;
        }
        modbus_set_slave(bus, 1);
        std::uint16_t registers[8];
        while (!stop_) {
            modbus_read_input_registers(bus, 0, 5, registers);
            modbus_read_registers(bus, 0, 2, registers);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        modbus_close(bus);
        modbus_free(bus);
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A dark desktop theme, as Fusion would take it from a dark platform theme.
QPalette darkPalette() {
    QPalette palette;
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 32);
    const QColor text(230, 230, 230);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
    }
    return palette;
}

void clickCell(QAbstractItemView* view, int row, int column) {
    const QModelIndex index = view->model()->index(row, column);
    const QPoint centre = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
}

} // namespace

int main(int argc, char** argv) {
    QApplication::setOrganizationName("Corvana");
    QApplication::setApplicationName("Corvana");
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3 || (argc == 3 && std::string_view(argv[2]) != "dark")) {
        std::fprintf(stderr, "usage: corvana-screenshots FOLDER [dark]\n");
        return 2;
    }
    if (argc == 3) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(darkPalette());
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTranslator qtTexts;
    DesktopApplication::installLanguage(qtTexts);
    const QString language = Ui::text(L10n::language().rawValue());
    Ui::installIconThemeFallback();
    QApplication::setWindowIcon(QIcon(Logo::pixmap(256)));
    QSettings().setValue(ShowLogPreference::key, true);

    VirtualPortPair pair;
    DecliningDialogs dialogs;
    ServerModel model(std::make_unique<FixedScanner>(pair.serverPath()), dialogs);
    model.init();
    model.setSelectedPath(QString::fromStdString(pair.serverPath()));

    MainWindow window(model);
    window.move(0, 0);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the main window did not appear\n");
        return 1;
    }
    save(&window, out.filePath("main-stopped.png"));

    if (auto* frameButton = child<QAbstractButton>(&window, "frameButton")) {
        frameButton->click();
        wait(300);
        save(&window, out.filePath("frame-popover.png"), QApplication::activePopupWidget());
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }

    model.start();
    {
        Master master(pair.masterPath());
        wait(3500);
        save(&window, out.filePath("main-running.png"));
        // The help's own picture of the main window, in the reader's language; 256 colours keep
        // the five of them small.
        window.grab()
            .scaledToWidth(900, Qt::SmoothTransformation)
            .toImage()
            .convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither)
            .save(out.filePath("main-window-" + language + ".png"), nullptr, 9);

        if (auto* table = child<QAbstractItemView>(&window, "datapointTable")) {
            clickCell(table, 0, 10); // the simulation cell of the first datapoint
            wait(300);
            save(&window, out.filePath("simulation-editor.png"), QApplication::activePopupWidget());
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            }
        }

        // Fault rules of the polled unit with their fired counts, and the editor on one of them.
        using FaultRulePresets::Preset;
        model.insertFaultRule(1, FaultRulePresets::rule(Preset::everyFifthBadCRC, 1));
        model.insertFaultRule(1, FaultRulePresets::rule(Preset::busyPeriodically, 1));
        model.insertFaultRule(1, FaultRulePresets::rule(Preset::lateReply, 1));
        model.setFaultRuleEnabled(1, 2, false);
        if (auto* section = child<FaultRulesSection>(&window, "faultRulesSection")) {
            section->setExpanded(true);
            section->selectRow(0);
        }
        wait(4000);
        save(&window, out.filePath("fault-rules.png"));
        {
            FaultRule rule = model.units().front().faultRules.front();
            rule.match.functions = {3};
            rule.match.addressFrom = 100;
            rule.match.addressTo = 120;
            FaultRuleDialog editor(rule, 1, &window);
            editor.show();
            (void)QTest::qWaitForWindowExposed(&editor);
            wait(300);
            save(&editor, out.filePath("fault-rule-editor.png"));
        }
        for (int rule = 2; rule >= 0; --rule) {
            model.removeFaultRule(1, static_cast<std::size_t>(rule));
        }
    }

    // A unit with a fault and an overlap warning.
    std::vector<ServerUnit> units = model.units();
    ServerUnit faulty;
    faulty.unitID = 2;
    faulty.name = "Boiler";
    faulty.fault = ServerUnit::Fault::exception;
    units.push_back(faulty);
    model.setUnits(units);
    model.setSelectedUnitID(2);
    const auto first = model.addDatapoint();
    const auto second = model.addDatapoint();
    if (first && second) {
        for (Datapoint point : model.datapoints()) {
            if (point.id == *second) {
                point.address = 0;
                model.updateDatapoint(point);
            }
        }
    }
    wait(1200);
    save(&window, out.filePath("unit-fault-overlap.png"));
    model.stop();

    // The question of an import with skipped lines and a value the type cannot hold.
    {
        QTemporaryDir folder;
        const QString csv = folder.filePath("list.csv");
        QFile file(csv);
        if (file.open(QIODevice::WriteOnly)) {
            file.write("Name,Unit ID,Table,Address,Data type,Value\n"
                       "Level,1,HR,20,UInt16,70000\nFlow,1,HR,21,UInt16,12.5\n"
                       "Pump,1,XX,22,,1\nValve,1,HR,x,,1\nFan,1,HR,23,Bool,2\n");
            file.close();
        }
        const auto read = ServerModel::readDatapointsFile(csv);
        if (const auto* result = std::get_if<DatapointCSV::ImportResult>(&read)) {
            WidgetDialogs questions(&window);
            QTimer::singleShot(800, [&out] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    save(box, out.filePath("import-summary.png"));
                    box->close();
                }
            });
            (void)questions.askImport(
                Ui::text(L10n::Import::found(static_cast<int>(result->datapoints.size()))),
                Ui::text(ProjectCommands::importSummary(*result)));
        }
    }

    HelpWindow help;
    help.move(40, 40);
    help.show();
    (void)QTest::qWaitForWindowExposed(&help);
    save(&help, out.filePath("help.png"));
    help.close();

    // The virtual port chosen: the serial bar names the master's end, the popover its timing.
    model.setOffersVirtualPort(true);
    model.setSelectedPath(QString::fromStdString(std::string(PortSelection::virtualPort)));
    wait(300);
    if (auto* toolbar = child<QWidget>(&window, "toolbar")) {
        if (toolbar->grab().save(out.filePath("serial-bar-virtual.png"))) {
            std::printf("%s\n", qPrintable(out.filePath("serial-bar-virtual.png")));
        }
    }
    if (auto* frameButton = child<QAbstractButton>(&window, "frameButton")) {
        frameButton->click();
        wait(300);
        save(&window, out.filePath("frame-popover-virtual.png"), QApplication::activePopupWidget());
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }

    // Both listeners on, their popover, then served beside the virtual port with a Modbus TCP
    // master connected.
    NetworkConfiguration network;
    network.tcp.enabled = true;
    network.rtuOverTCP.enabled = true;
    model.setNetwork(network);
    if (auto* networkButton = child<QAbstractButton>(&window, "networkButton")) {
        networkButton->click();
        wait(300);
        save(&window, out.filePath("network-popover.png"), QApplication::activePopupWidget());
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }
    model.start();
    {
        TCPMaster master(network.tcp.port);
        wait(3000);
        save(&window, out.filePath("main-network-running.png"));
        std::printf("title: %s\n", qPrintable(window.windowTitle()));
    }
    model.stop();

    return 0;
}
