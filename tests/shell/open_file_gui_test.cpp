// On the offscreen platform: the Qt file dialogs (filters, default suffix,
// the several-files rule keeping the dialog open, names that need not exist)
// and the program started with a file on its command line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "disk/formats.h"
#include "machine/snapshot_loader.h"
#include "platform/files.h"
#include "shell/qt/file_dialogs_qt.h"
#include "shell/qt/main_form.h"
#include "shell/qt/program_objects.h"
#include "shell/program_entry.h"
#include "support/recording_dialogs.h"
#include "support/wait_for_events.h"
#include "z80/z80_host.h"

namespace {

namespace fs = std::filesystem;
const char* kRom48 = "/usr/share/spectrum-roms/opense.rom";
const char* kRomStub = "/usr/share/spectrum-roms/opense-stub.rom";

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/ovrin-files-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string Touch(const std::string& name, const std::vector<uint8_t>& bytes = {0}) const {
    const std::string p = path + "/" + name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  std::string path;
};

class Recorded : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetDialogs(&dialogs);
    Z80_SetDialogs(&dialogs);
  }
  void TearDown() override {
    Z80_SetDialogs(nullptr);
    platform::SetDialogs(previous_);
  }
  testing_support::RecordingDialogs dialogs;

 private:
  platform::Dialogs* previous_ = nullptr;
};

using QtFileDialogs = Recorded;

// Runs `act` on the modal dialog once Execute has shown it.
template <typename Act>
void WhenShown(Act act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(*dialog, *dialog->findChild<QLineEdit*>("fileNameEdit"));
    if (dialog->isVisible()) dialog->reject();
  });
}

TEST_F(QtFileDialogs, TheDialogsAsSetUp) {
  TQtFileDialogs backend;
  TFileDialog disk = MakeOpenDiskDialog();
  QFileDialog& q = backend.Prepare(disk);
  EXPECT_TRUE(q.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(q.fileMode(), QFileDialog::ExistingFiles);
  EXPECT_EQ(q.acceptMode(), QFileDialog::AcceptOpen);
  ASSERT_EQ(q.nameFilters().size(), 9);
  EXPECT_EQ(q.nameFilters()[0], "TR-DOS disks (*.trd *.scl *.fdi *.td0 *.udi *.fdd *.$* *.!*)");
  EXPECT_EQ(q.nameFilters()[8], "All files (*)");
  EXPECT_EQ(q.defaultSuffix(), "trd");
  emit q.filterSelected(q.nameFilters()[4]);
  EXPECT_EQ(disk.FilterIndex, 5);
  EXPECT_EQ(q.defaultSuffix(), "td0");
  emit q.filterSelected(q.nameFilters()[7]);
  EXPECT_EQ(q.defaultSuffix(), "scl");
  EXPECT_TRUE(backend.ReadOnlyBox(disk).isVisibleTo(&q));
  // Kept alive: the same dialog, with the filter last chosen.
  EXPECT_EQ(&backend.Prepare(disk), &q);
  EXPECT_EQ(q.selectedNameFilter(), q.nameFilters()[7]);

  TFileDialog save = MakeSaveMemoryDialog();
  QFileDialog& s = backend.Prepare(save);
  EXPECT_EQ(s.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(s.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(s.defaultSuffix(), "bin");
  EXPECT_FALSE(backend.ReadOnlyBox(save).isVisibleTo(&s));
  TFileDialog all = MakeOpenAllDialog();
  EXPECT_EQ(backend.Prepare(all).fileMode(), QFileDialog::ExistingFiles);
  TFileDialog snapshot = MakeSaveSnapshotDialog();
  EXPECT_TRUE(backend.Prepare(snapshot).testOption(QFileDialog::DontConfirmOverwrite));
}

TEST_F(QtFileDialogs, AMixedChoiceKeepsTheDialogOpen) {
  TempDir dir;
  for (const char* name : {"a.$C", "b.!C", "b.$B"}) dir.Touch(name);
  TQtFileDialogs backend;
  TFileDialog disk = MakeOpenDiskDialog();
  disk.InitialDir = dir.path;
  disk.ReadOnly = false;
  bool stayedOpen = false;
  WhenShown([&](QFileDialog& q, QLineEdit& edit) {
    edit.setText("\"a.$C\" \"b.!C\"");
    static_cast<QDialog&>(q).accept();
    stayedOpen = q.isVisible();
    // As typing with the focus in the name line does: the view's
    // selection follows the names.
    q.findChild<QAbstractItemView*>("listView")->clearSelection();
    edit.setText("\"b.$B\" \"a.$C\"");
    backend.ReadOnlyBox(disk).setChecked(true);
    static_cast<QDialog&>(q).accept();
  });
  ASSERT_TRUE(backend.Execute(disk));
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(dialogs.Count(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].text, kSeveralFilesMessage);
  EXPECT_EQ(disk.Files, (std::vector<std::string>{dir.path + "/b.$B", dir.path + "/a.$C"}));
  EXPECT_TRUE(disk.ReadOnly);
}

// The disk drives share one dialog: what was chosen for one drive, even a
// refused choice, is not what the next drive's opening offers.
TEST_F(QtFileDialogs, AnotherDrivesOpeningKeepsNoEarlierChoice) {
  TempDir dir;
  for (const char* name : {"a.$C", "b.!C"}) dir.Touch(name);
  TQtFileDialogs backend;
  TFileDialog disk = MakeOpenDiskDialog();
  disk.InitialDir = dir.path;
  const auto listed = [](QFileDialog& q) {
    auto* list = q.findChild<QAbstractItemView*>("listView");
    EXPECT_TRUE(testing_support::WaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    return list;
  };

  // Drive B: both HOBETA files chosen, refused, the dialog cancelled.
  WhenShown([&](QFileDialog& q, QLineEdit& edit) {
    listed(q)->selectAll();
    edit.setText("\"a.$C\" \"b.!C\"");
    static_cast<QDialog&>(q).accept();
  });
  EXPECT_FALSE(backend.Execute(disk));
  EXPECT_EQ(dialogs.Count(), 1u);

  // Drive D:, empty: no name, nothing chosen, nothing to open.
  disk.FileName.clear();
  qsizetype selected = -1;
  QString name = "?";
  bool openEnabled = true;
  WhenShown([&](QFileDialog& q, QLineEdit& edit) {
    auto* list = listed(q);
    QCoreApplication::processEvents();
    selected = list->selectionModel()->selectedRows().size();
    name = edit.text();
    openEnabled = q.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open)->isEnabled();
  });
  EXPECT_FALSE(backend.Execute(disk));
  EXPECT_EQ(selected, 0);
  EXPECT_TRUE(name.isEmpty());
  EXPECT_FALSE(openEnabled);
}

TEST_F(QtFileDialogs, ADiskNameNeedNotExistAndGetsTheFiltersSuffix) {
  TempDir dir;
  TQtFileDialogs backend;
  TFileDialog disk = MakeOpenDiskDialog();
  disk.InitialDir = dir.path;
  WhenShown([&](QFileDialog& q, QLineEdit& edit) {
    q.selectNameFilter(q.nameFilters()[2]);
    emit q.filterSelected(q.nameFilters()[2]);
    edit.setText("fresh");
    static_cast<QDialog&>(q).accept();
  });
  ASSERT_TRUE(backend.Execute(disk));
  EXPECT_EQ(disk.Files, std::vector<std::string>{dir.path + "/fresh.scl"});
  EXPECT_EQ(disk.FilterIndex, 3);
  EXPECT_EQ(dialogs.Count(), 0u);

  // Cancel leaves the names as they were; no name to propose shows none.
  WhenShown([](QFileDialog&, QLineEdit& edit) { edit.setText("other"); });
  EXPECT_FALSE(backend.Execute(disk));
  EXPECT_EQ(disk.FileName, dir.path + "/fresh.scl");
  disk.FileName.clear();
  QString shown = "unset";
  WhenShown([&](QFileDialog&, QLineEdit& edit) { shown = edit.text(); });
  EXPECT_FALSE(backend.Execute(disk));
  EXPECT_EQ(shown, "");
}

// A drive's image whose folder has gone (a removed stick) is proposed by its
// whole name in the nearest folder still there, so Enter takes that name and
// not one in whatever folder the dialog shows; a folder that is there shows
// the bare name in it.
TEST_F(QtFileDialogs, AGoneFolderIsProposedByTheWholeName) {
  TempDir dir;
  TempDir elsewhere;
  fs::create_directories(dir.path + "/usb2");
  const struct {
    const char* name;
    std::string file;
    std::string shownName, shownFolder;
  } cases[] = {
      {"folder there", dir.path + "/usb2/d2.trd", "d2.trd", dir.path + "/usb2"},
      {"folder gone", dir.path + "/usb3/d2.trd", dir.path + "/usb3/d2.trd", dir.path},
      {"two levels gone", dir.path + "/usb3/games/d2.trd", dir.path + "/usb3/games/d2.trd", dir.path},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TQtFileDialogs backend;
    TFileDialog disk = MakeOpenDiskDialog();
    disk.InitialDir = elsewhere.path;
    disk.FileName = c.file;
    QString shownName, shownFolder;
    WhenShown([&](QFileDialog& q, QLineEdit& edit) {
      shownName = edit.text();
      shownFolder = q.directory().absolutePath();
      QTest::keyClick(&edit, Qt::Key_Return);
    });
    ASSERT_TRUE(backend.Execute(disk));
    EXPECT_EQ(shownName.toStdString(), c.shownName);
    EXPECT_EQ(shownFolder.toStdString(), c.shownFolder);
    EXPECT_EQ(disk.Files, std::vector<std::string>{c.file});
  }
}

QPushButton& OpenButton(QFileDialog& q) {
  return *q.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open);
}

// The Open button is there for a mouse user exactly where Enter would take
// the typed name: a disk to be created, a file the filter hides.
TEST_F(QtFileDialogs, OpenIsEnabledWhereEnterTakesTheName) {
  TempDir dir;
  dir.Touch("game.tzx");
  const std::tuple<TFileDialog (*)(), const char*, bool> cases[] = {
      {MakeOpenDiskDialog, "new.trd", true},
      {MakeOpenAllDialog, "game.tzx", true},  // not listed under "All formats"
      {MakeOpenAllDialog, "missing.z80", false},
      {MakeOpenAllDialog, "", false},
  };
  for (const auto& [make, name, enabled] : cases) {
    SCOPED_TRACE(name);
    TQtFileDialogs backend;
    TFileDialog description = make();
    description.InitialDir = dir.path;
    bool shownEnabled = !enabled;
    WhenShown([&, name = name](QFileDialog& q, QLineEdit& edit) {
      edit.setText(name);
      QCoreApplication::processEvents();
      shownEnabled = OpenButton(q).isEnabled();
      if (shownEnabled) OpenButton(q).click();
    });
    EXPECT_EQ(backend.Execute(description), enabled);
    EXPECT_EQ(shownEnabled, enabled);
    if (enabled) {
      EXPECT_EQ(description.FileName, dir.path + "/" + name);
    }
  }
}

// The name line's completion list goes with its dialog, also when something
// shows it again after the dialog has closed (a folder listing that arrives
// late makes the completer show its matches).
TEST_F(QtFileDialogs, TheCompletionListClosesWithItsDialog) {
  TempDir dir;
  const std::string game = dir.Touch("game.z80");
  TQtFileDialogs backend;
  TFileDialog all = MakeOpenAllDialog();
  all.InitialDir = dir.path;
  QWidget* popup = nullptr;
  WhenShown([&](QFileDialog& q, QLineEdit& edit) {
    popup = edit.completer()->popup();
    popup->show();
    edit.setText("game.z80");
    static_cast<QDialog&>(q).accept();
  });
  ASSERT_TRUE(backend.Execute(all));
  EXPECT_EQ(all.FileName, game);
  ASSERT_NE(popup, nullptr);
  EXPECT_FALSE(popup->isVisible());
  popup->show();
  QCoreApplication::processEvents();
  EXPECT_FALSE(popup->isVisible());
}

// ---------------------------------------------------------------------------
// The program with a file on its command line.

class CommandLine : public Recorded {
 protected:
  void SetUp() override {
    if (!fs::exists(kRom48) || !fs::exists(kRomStub)) GTEST_SKIP() << "the opense-basic ROMs are not installed";
    Recorded::SetUp();
    platform::SetProgramDirectoryForTesting(dir.path);
    fs::create_directories(dir.path + "/OVRIN");
    std::ofstream(dir.path + "/OVRIN/OVRIN.ini")
        << "[General]\nInstalled=Yes\nROMFILE0=" << kRomStub << "\nROMFILE1=" << kRom48
        << "\nROMFILE2=\nROMFILE3=\n";
  }
  void TearDown() override {
    Stop();
    platform::SetProgramDirectoryForTesting("");
    Recorded::TearDown();
  }
  void Stop() {
    if (form) {
      form->FormClose();
      form->AttachMachine(nullptr);
    }
    machine.reset();
    form.reset();
  }
  // Starts the program as `ovrin args...`.
  void Start(std::vector<std::string> args) {
    args.insert(args.begin(), "ovrin");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    TakeProgramEntry(ProgramEntry(), static_cast<int>(argv.size()), argv.data());
    TMainFormOptions options;
    options.SettingsPath = settings.empty() ? dir.path + "/OVRIN/OVRIN.ini" : settings;
    options.ClockMeasureSleep = std::chrono::milliseconds(50);
    form = std::make_unique<TMainForm>(options);
    machine = std::make_unique<TZXHardware>(form.get());
    form->AttachMachine(machine.get());
    form->FormShow();
  }

  TempDir dir;
  std::string settings;  // empty: the prepared settings file
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<TZXHardware> machine;
};

TEST_F(CommandLine, Tape) {
  std::vector<uint8_t> block = {0x00, 0x03, 'o', 'v', 'r', 'i', 'n', ' ', ' ', ' ', ' ', ' ',
                                0x10, 0x00, 0x00, 0x80, 0x00, 0x80};
  uint8_t sum = 0;
  for (uint8_t b : block) sum ^= b;
  block.push_back(sum);
  block.insert(block.begin(), {static_cast<uint8_t>(block.size()), 0});
  Start({dir.Touch("game.tap", block)});
  EXPECT_EQ(form->Files()->Machine.TapeDeck().Player().BlockCount(), 1u);
  EXPECT_TRUE(machine->IsCpuRunning());
  EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(CommandLine, SnapshotWhoseNameHasABlank) {
  {
    TZXHardware source;
    source.Cpu().PC = 0x8000;
    source.Cpu().SP = 0xFF00;
    TZXHardware::MemoryWrite(0x8000, 0x18, &source);  // JR $
    TZXHardware::MemoryWrite(0x8001, 0xFE, &source);
    TZXHardware::MemoryWrite(0x9000, 0xA5, &source);
    ASSERT_TRUE(SaveZ80(source, dir.path + "/my game.z80"));
  }
  // Two arguments, joined with a blank into one name.
  Start({dir.path + "/my", "game.z80"});
  EXPECT_TRUE(machine->IsCpuRunning());
  machine->StopCpu();
  EXPECT_EQ(machine->Cpu().PC, 0x8000);
  EXPECT_EQ(machine->Cpu().SP, 0xFF00);
  EXPECT_EQ(TZXHardware::MemoryRead(0x9000, machine.get()), 0xA5);
  EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(CommandLine, DiskImage) {
  const std::string path = dir.path + "/game.trd";
  ASSERT_TRUE(platform::WriteFileAtomic(path, *disk::SaveTrd(disk::FormatTrdos(80, 2))));
  Start({path});
  EXPECT_EQ(machine->FloppyController.GetDiskFileName(0), path);
  EXPECT_TRUE(machine->FloppyController.DriveWriteProtect[0]);
  EXPECT_TRUE(machine->FloppyController.Drive(0).WriteProtect);
  EXPECT_TRUE(machine->IsCpuRunning());
  EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(CommandLine, EmptyOpensNothing) {
  Start({});
  EXPECT_TRUE(machine->IsCpuRunning());
  EXPECT_EQ(dialogs.Count(), 0u);
}

// A 2 GB file of every kind is refused by its size with one message, and
// the machine boots as without it. Reading any of them would have taken its
// 2 GB into memory.
TEST_F(CommandLine, HugeFilesAreRefusedUnreadAndTheMachineBoots) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const long peakBefore = usage.ru_maxrss;
  for (const char* ext : {"trd", "scl", "fdi", "td0", "udi", "fdd", "$c", "tap", "tzx", "z80", "sna", "sit",
                          "sp", "zx"}) {
    SCOPED_TRACE(ext);
    dialogs.Clear();
    const std::string path = dir.Touch(std::string("huge.") + ext);
    fs::resize_file(path, 2ull << 30);  // sparse
    Start({path});
    EXPECT_EQ(dialogs.Count(), 1u);
    EXPECT_TRUE(machine->IsCpuRunning());
    if (std::string(ext) == "sna") {
      EXPECT_EQ(dialogs.Messages().at(0).text, "File corrupt!");
    }
    Stop();
    fs::remove(path);
  }
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss - peakBefore, 512 * 1024);
}

// A FIFO, a directory or a dangling link where a file is expected gets an
// open error (or, for the settings, the defaults) without waiting on it, and
// stays as it was.
TEST_F(CommandLine, SpecialFilesAtEveryKindOfPathAreOnlyReported) {
  const struct {
    const char* kind;
    void (*make)(const std::string&);
    bool (*still)(const fs::path&);
  } kinds[] = {
      {"fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
       [](const fs::path& p) { return fs::is_fifo(p); }},
      {"dir", [](const std::string& p) { fs::create_directory(p); },
       [](const fs::path& p) { return fs::is_directory(p); }},
      {"dangling", [](const std::string& p) { fs::create_symlink(p + ".gone", p); },
       [](const fs::path& p) { return fs::is_symlink(p) && !fs::exists(p); }},
  };
  for (const auto& k : kinds) {
    for (const char* name : {"x.trd", "x.tap", "x.z80", "settings.ini"}) {
      SCOPED_TRACE(std::string(k.kind) + " " + name);
      dialogs.Clear();
      const std::string path = dir.path + "/" + k.kind + "-" + name;
      k.make(path);
      const bool isSettings = std::string(name) == "settings.ini";
      settings = isSettings ? path : "";
      Start(isSettings ? std::vector<std::string>{} : std::vector<std::string>{path});
      EXPECT_TRUE(machine->IsCpuRunning());
      if (!isSettings) {
        ASSERT_EQ(dialogs.Count(), 1u);
        const std::string text = dialogs.Messages()[0].text;
        EXPECT_TRUE(text == "File open error!" || text == "Ошибка открытия файла " + path) << text;
      }
      Stop();
      EXPECT_TRUE(k.still(path));
    }
  }
}

// Start-up that fails with an exception while opening its file: the objects
// are taken down in the safe order (AddressSanitizer would see the window
// reach a freed machine otherwise).
TEST_F(CommandLine, StartUpFailingOnItsFileEndsCleanly) {
  struct Throwing : platform::Dialogs {
    platform::MsgResult Message(std::string_view, std::string_view text, platform::MsgButtons,
                                platform::MsgIcon, platform::MsgResult) override {
      throw std::runtime_error(std::string(text));
    }
  } throwing;
  const std::string fifo = dir.path + "/pipe.trd";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::string args = fifo;
  char* argv[] = {const_cast<char*>("ovrin"), args.data()};
  TakeProgramEntry(ProgramEntry(), 2, argv);
  TMainFormOptions options;
  options.SettingsPath = dir.path + "/OVRIN/OVRIN.ini";
  options.ClockMeasureSleep = std::chrono::milliseconds(50);
  platform::SetDialogs(&throwing);
  EXPECT_THROW(
      {
        TProgramObjects objects(options);
        objects.Form().FormShow();
      },
      std::runtime_error);
  platform::SetDialogs(&dialogs);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
