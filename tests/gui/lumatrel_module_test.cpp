// The Lumatrel.ocx module: self-registration in the machine registry and creation of
// the control by its class id, through the registry or beside the executable.
#include "platform/modules/modules.h"
#include "platform/registry/registry.h"
#include "track/editor_ctrl/sample_editor.h"
#include "track/view/sample_editor_ctrl.h"

#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <vector>

using namespace korvane;
using platform::Module;
using platform::RegistryStore;
using platform::RootKey;
using trackview::CSampleEditorCtrl;

namespace fs = std::filesystem;

namespace {

const std::string kClassKey = std::string("Software\\Classes\\CLSID\\") + editor::kSampleEditorClassId;
const fs::path kBuiltModule = fs::path(KORVANE_BIN_DIR) / "Lumatrel.ocx";

}  // namespace

class LumatrelModuleTest : public QObject {
    Q_OBJECT
    QTemporaryDir root_;

private slots:
    void initTestCase() { qputenv("KORVANE_ROOT", root_.path().toUtf8()); }

    void registeredCopyIsCreatedByClassIdTheOneBesideTheExecutableOtherwise() {
        // A copy in the machine's system folder, as installed.
        const fs::path systemDir = fs::path(root_.path().toStdString()) / "drive_c" / "WINDOWS" / "SYSTEM";
        fs::create_directories(systemDir);
        const fs::path installed = systemDir / "Lumatrel.ocx";
        fs::copy_file(kBuiltModule, installed, fs::copy_options::overwrite_existing);
        std::string error;
        auto module = Module::Load(installed, &error);
        QVERIFY2(module.has_value(), error.c_str());
        QCOMPARE(module->Function<DllRegisterServerFn>("DllRegisterServer")(), 0L);

        // Created by class id: the registered copy is the one loaded (a wrong registered
        // path falls back to the copy beside the executable).
        auto store = RegistryStore::OpenMachine();
        QWidget parent;
        auto ctrl = CSampleEditorCtrl::Create(store.get(), &parent, &error);
        QVERIFY2(ctrl != nullptr, error.c_str());
        QCOMPARE(std::pair(fs::canonical(ctrl->modulePath()), ctrl->widget()->parentWidget()), std::pair(fs::canonical(installed), &parent));
        ctrl.reset();
        QVERIFY(parent.findChildren<QWidget*>().isEmpty());  // the wrapper took its window along

        // Unregistered: the class key goes and the copy beside the executable is created.
        QCOMPARE(module->Function<DllUnregisterServerFn>("DllUnregisterServer")(), 0L);
        QVERIFY(!store->KeyExists(RootKey::LocalMachine, kClassKey));
        ctrl = CSampleEditorCtrl::Create(store.get(), &parent, &error);
        QVERIFY2(ctrl != nullptr, error.c_str());
        QCOMPARE(fs::canonical(ctrl->modulePath()).parent_path(), fs::canonical(platform::ExecutableDir()));

        // A registration pointing at a vanished file also falls back.
        store->CreateKey(RootKey::LocalMachine, kClassKey + "\\InprocServer32").SetString("", "/nonexistent/Lumatrel.ocx");
        auto again = CSampleEditorCtrl::Create(store.get(), &parent, &error);
        QVERIFY2(again != nullptr, error.c_str());

        // A class id the module does not provide is refused with its reason.
        auto unknown = CSampleEditorCtrl::Create(nullptr, &parent, &error, "{00000000-0000-0000-0000-000000000000}");
        QVERIFY(unknown == nullptr);
        QVERIFY2(error.find("does not provide") != std::string::npos, error.c_str());
    }
};

QTEST_MAIN(LumatrelModuleTest)
#include "lumatrel_module_test.moc"
