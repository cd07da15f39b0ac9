// The dialog windows on the offscreen platform: their captions and sizes,
// and each one's widgets driving its logic into the machine.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <fstream>
#include <vector>

#include "platform/files.h"
#include "platform/qt/focus_return.h"
#include "platform/qt/qt_dialogs.h"
#include "shell/about_text.h"
#include "shell/program_entry.h"
#include "shell/qt/about_form.h"
#include "shell/qt/form_registry.h"
#include "shell/qt/main_form.h"
#include "shell/qt/memory_set_form.h"
#include "shell/qt/palette_form.h"
#include "shell/qt/timing_form.h"
#include "machine/machine_test_util.h"
#include "support/recording_dialogs.h"
#include "support/wait_for_events.h"

namespace {

namespace fs = std::filesystem;
using Dialogs = testing_support::ScopedDialogs<decltype(&platform::SetDialogs)>;

using machine_test::MakeMachine;

TEST(DialogWindows, CaptionsAndClientSizes) {
  auto m = MakeMachine();
  uint64_t clock = 0;
  TTimingForm timing(*m);
  TMemorySetForm memory(*m);
  TPaletteForm palette(*m);
  TFormRegistry registry;
  TAboutForm about(clock);
  const std::tuple<QWidget*, const char*, QSize> windows[] = {
      {&timing, "ULA settings", {261, 254}},
      {&memory, "Настройка памяти Spectrum", {284, 217}},
      {&palette, "Palette settings", {270, 360}},
      {&registry, "File associations", {180, 343}},
      {&about, "About", {441, 105}},
  };
  for (const auto& [window, caption, size] : windows) {
    EXPECT_EQ(window->windowTitle().toStdString(), caption);
    EXPECT_EQ(window->size(), size) << caption;
  }
  // The boxes top to bottom, TZX unticked and disabled.
  QStringList order;
  for (int row : kAssociationBoxOrder) order << registry.Boxes[size_t(row)]->text();
  EXPECT_EQ(order.join(" "), "TRD SCL FDI TD0 UDI - recomended FDD Z80 SNA TAP TZX SIT SP ZX");
  EXPECT_FALSE(registry.Boxes[kDisabledAssociationRow]->isEnabled());
  EXPECT_FALSE(registry.Boxes[kDisabledAssociationRow]->isChecked());
}

TEST(DialogWindows, TimingGridTakesBackTheUnsignedPatternItShows) {
  Dialogs d(&platform::SetDialogs);
  auto m = MakeMachine();
  TTimingForm form(*m);
  form.ShowTimingForm();
  EXPECT_EQ(form.PresetCombo->currentText(), "Pentagon");
  EXPECT_FALSE(form.ButtonOK->isEnabled());
  form.ValuesGridSetEditText(6, "4294967292");
  form.ValuesGridSetEditText(7, "4");
  EXPECT_EQ(form.PresetCombo->currentText(), "<User defined>");
  form.ButtonOK->click();
  EXPECT_EQ(d.dialogs.Count(), 0u);
  EXPECT_EQ(m->Timing.timeHorzScreenBegin, 4294967292u);
  EXPECT_FALSE(form.ButtonOK->isEnabled());
  form.ShowTimingForm();
  EXPECT_EQ(form.ValuesGrid->item(6, 1)->text(), "4294967292");
  form.PresetComboChange(3);
  EXPECT_EQ(form.ValuesGrid->item(6, 1)->text(), "200");
  EXPECT_EQ(form.ValuesGrid->item(7, 1)->text(), "4");
}

// Escape in a cell being edited takes back, with the cell's text, what its
// keystrokes told the window: the preset, Apply's state and the value Apply
// stores are those from before the edit. Enter keeps the edit.
TEST(DialogWindows, TimingGridEscapeTakesBackTheEdit) {
  Dialogs d(&platform::SetDialogs);
  auto m = MakeMachine();
  TTimingForm form(*m);
  const struct {
    const char* name;
    const char* before;  // an edit taken with Enter first, if any
    const char* typed;
    Qt::Key key;
    const char* preset;
    bool applyEnabled;
    uint32_t stored;
  } cases[] = {
      {"Escape", nullptr, "70", Qt::Key_Escape, "Pentagon", false, 80},
      {"Escape from a value Apply refuses", nullptr, "24", Qt::Key_Escape, "Pentagon", false, 80},
      {"Escape after an edit taken", "64", "70", Qt::Key_Escape, "<User defined>", true, 64},
      {"Enter", nullptr, "70", Qt::Key_Return, "<User defined>", true, 70},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m->Timing.timeScreenBeginLines = 80;
    form.ShowTimingForm();
    const auto edit = [&form](const char* text, Qt::Key key) {
      QTableWidget& grid = *form.ValuesGrid;
      // Moving onto the cell may already open its editor.
      grid.setCurrentCell(5, 1);
      const QModelIndex cell = grid.model()->index(5, 1);
      if (!grid.indexWidget(cell)) grid.editItem(grid.item(5, 1));
      auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(cell));
      ASSERT_NE(editor, nullptr);
      editor->selectAll();
      QTest::keyClicks(editor, text);
      QTest::keyClick(editor, key);
      QCoreApplication::processEvents();
    };
    if (c.before) edit(c.before, Qt::Key_Return);
    edit(c.typed, c.key);
    EXPECT_EQ(form.ValuesGrid->item(5, 1)->text().toStdString(),
              c.key == Qt::Key_Escape ? (c.before ? c.before : "80") : c.typed);
    EXPECT_EQ(form.PresetCombo->currentText().toStdString(), c.preset);
    EXPECT_EQ(form.ButtonOK->isEnabled(), c.applyEnabled);
    form.ButtonOKClick();  // also where the button is greyed
    EXPECT_EQ(d.dialogs.Count(), 0u);
    EXPECT_EQ(m->Timing.timeScreenBeginLines, c.stored);
    form.ShowTimingForm();
    EXPECT_EQ(form.ValuesGrid->item(5, 1)->text().toStdString(), std::to_string(c.stored));
    form.hide();
  }
}

// The value column holds the widest value, also where a larger font leaves
// no room for both columns at their natural widths; the grid stays inside
// the window.
TEST(DialogWindows, TimingValueColumnHoldsTheWidestValue) {
  auto m = MakeMachine();
  for (int points : {8, 10, 14}) {
    SCOPED_TRACE(points);
    TTimingForm form(*m);
    QFont font = form.font();
    font.setPointSize(points);
    form.setFont(font);
    form.ShowTimingForm();
    const QTableWidget& grid = *form.ValuesGrid;
    const int needed = QFontMetrics(grid.font()).horizontalAdvance(TTimingForm::kLongestTimingValue);
    EXPECT_GE(grid.columnWidth(1), needed + TTimingForm::kCellMargins);
    EXPECT_LE(grid.columnWidth(0) + grid.columnWidth(1), grid.width() - 2 * grid.frameWidth());
    form.hide();
  }
}

struct ScriptedFiles final : IFileDialogs {
  std::string answer;
  TFileDialog shown;
  int asked = 0;
  bool Execute(TFileDialog& dialog) override {
    shown = dialog;
    ++asked;
    dialog.FileName = answer;
    return true;
  }
};

TEST(DialogWindows, MemoryFormBrowsesAndApplies) {
  char tmpl[] = "/tmp/ovrin-memform-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  std::ofstream(dir + "/a.rom", std::ios::binary) << std::string(49152, '\x7');
  auto m = MakeMachine();
  m->RomFileSpecs[3] = "b.rom,2";
  ScriptedFiles files;
  files.answer = dir + "/a.rom";
  TMemorySetForm form(*m, nullptr, &files);
  form.ShowMemorySetForm();
  form.ComboROMChange(3);
  EXPECT_EQ(form.EditFileROM->text().toStdString(), "b.rom,2");
  form.ButtonBrowse->click();
  // The bare name is proposed where it is looked up: the program's folder.
  EXPECT_EQ(files.shown.InitialDir, platform::ProgramDirectory());
  EXPECT_EQ(files.shown.FileName, platform::ProgramDirectory() + "/b.rom");
  EXPECT_EQ(form.EditFileROM->text().toStdString(), dir + "/a.rom,2");
  EXPECT_TRUE(form.ButtonOK->isEnabled());
  form.ButtonOK->click();
  EXPECT_EQ(m->RomFileSpecs[3], dir + "/a.rom,2");
  EXPECT_EQ(m->RomSlots[3][0], 7);
  fs::remove_all(dir);
}

TEST(DialogWindows, PalettePanelsAndApply) {
  auto m = MakeMachine();
  TPaletteForm form(*m);
  int asked = 0;
  form.SetColorPicker([&](QWidget*, QColor initial) -> std::optional<QColor> {
    ++asked;
    return initial;
  });
  std::fill(m->ScreenPage + 6144, m->ScreenPage + 6912, 0x38);  // white paper everywhere
  form.ShowPaletteForm();
  const QImage preview = form.PaintPreview->pixmap().toImage();
  EXPECT_EQ(preview.size(), QSize(256, 192));
  EXPECT_EQ(form.PaintPreview->width() * 3, form.PaintPreview->height() * 4);  // 4:3 as the picture
  EXPECT_EQ(preview.pixel(255, 191) & 0xFFFFFF, 0xC0C0C0u);
  EXPECT_EQ(form.PresetCombo->currentText(), "Normal");
  EXPECT_EQ(form.ColorPanels[9]->palette().color(QPalette::Window), QColor(0, 0, 0xF0));
  QMouseEvent click(QEvent::MouseButtonPress, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(form.ColorPanels[5], &click);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(form.ButtonOK->isEnabled());
  form.ButtonMinusBR->click();
  EXPECT_EQ(form.PresetCombo->currentText(), "<User defined>");
  form.ButtonOK->click();
  EXPECT_EQ(m->SpectrumPalette[9 * 3 + 2], 0xEF);
  EXPECT_FALSE(form.ButtonOK->isEnabled());
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl& url) { opened = url.toString().toStdString(); }

 public:
  std::string opened;
};

TEST(DialogWindows, AboutShowsTheClockInTheLocaleAndOpensTheLink) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  ProgramEntry().CPUName = "TestCPU 6.1.2";
  uint64_t clock = 1994123456;
  TAboutForm about(clock);
  about.FormShow();
  EXPECT_EQ(about.LabelCPU->text().toStdString(), "Detected CPU: TestCPU 6.1.2 at 1994,123456 MHz");
  clock = 2000000000;
  about.FormShow();
  EXPECT_EQ(about.LabelCPU->text().toStdString(), "Detected CPU: TestCPU 6.1.2 at 2000 MHz");
  QLocale::setDefault(QLocale::c());

  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "Open");
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(about.LabelURL, &release);
  QDesktopServices::unsetUrlHandler("https");
  EXPECT_EQ(catcher.opened, kAboutUrl);
}

// None of these windows names a default button: Enter presses only the
// button that has the focus (a default Cancel would close the window and
// lose an edit, "--" darken the colours, Browse open the file dialog).
TEST(DialogWindows, EnterPressesOnlyTheFocusedButton) {
  Dialogs d(&platform::SetDialogs);
  auto m = MakeMachine();
  ScriptedFiles files;
  TTimingForm timing(*m);
  TMemorySetForm memory(*m, nullptr, &files);
  TPaletteForm palette(*m);
  TFormRegistry registry;
  const std::pair<QDialog*, std::function<void()>> windows[] = {
      {&timing, [&] { timing.ShowTimingForm(); }},
      {&memory, [&] { memory.ShowMemorySetForm(); }},
      {&palette, [&] { palette.ShowPaletteForm(); }},
      {&registry, [&] { registry.ShowFormRegistry(); }},
  };
  for (const auto& [window, show] : windows) {
    SCOPED_TRACE(window->objectName().toStdString());
    show();
    std::vector<QPushButton*> pressed;
    const QList<QPushButton*> buttons = window->findChildren<QPushButton*>();
    ASSERT_FALSE(buttons.isEmpty());
    // Only which button a key presses is looked at, not what it does.
    for (QPushButton* b : buttons) {
      QObject::disconnect(b, &QPushButton::clicked, nullptr, nullptr);
      QObject::connect(b, &QPushButton::clicked, window, [&pressed, b] { pressed.push_back(b); });
    }
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(pressed.empty());
    for (QPushButton* b : buttons) {
      SCOPED_TRACE(b->text().toStdString());
      pressed.clear();
      b->setFocus();
      QTest::keyClick(b, Qt::Key_Return);
      QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
      QTest::keyClick(b, Qt::Key_Return, Qt::ControlModifier);
      const std::vector<QPushButton*> expected =
          b->isEnabled() ? std::vector<QPushButton*>{b, b} : std::vector<QPushButton*>{};
      EXPECT_EQ(pressed, expected);
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(files.asked, 0);
    window->hide();
  }

  // Enter in a grid cell being edited takes the edit and nothing more.
  timing.ShowTimingForm();
  const uint32_t lines = m->Timing.timeScreenBeginLines;
  timing.ValuesGrid->setCurrentCell(5, 1);
  timing.ValuesGrid->editItem(timing.ValuesGrid->item(5, 1));
  auto* editor = timing.ValuesGrid->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "81");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(timing.ValuesGrid->item(5, 1)->text(), "81");
  EXPECT_TRUE(timing.isVisible());
  EXPECT_TRUE(timing.ButtonOK->isEnabled());
  EXPECT_EQ(m->Timing.timeScreenBeginLines, lines);
  EXPECT_EQ(d.dialogs.Count(), 0u);
}

TEST(DialogWindows, MenuItemsOpenOneWindowEach) {
  Dialogs d(&platform::SetDialogs);
  auto form = std::make_unique<TMainForm>();
  auto m = MakeMachine();
  form->AttachMachine(m.get());
  for (int twice = 0; twice < 2; ++twice) {
    form->ShowForm(TFormId::Timing);
    form->ShowForm(TFormId::MemorySet);
    form->ShowForm(TFormId::Palette);
    form->ShowForm(TFormId::Registry);
    // The about box waits; close it as soon as it shows.
    QTimer::singleShot(0, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    form->ShowForm(TFormId::About);
  }
  EXPECT_EQ(form->findChildren<TTimingForm*>().size(), 1);
  EXPECT_EQ(form->findChildren<TMemorySetForm*>().size(), 1);
  EXPECT_EQ(form->findChildren<TPaletteForm*>().size(), 1);
  EXPECT_EQ(form->findChildren<TFormRegistry*>().size(), 1);
  EXPECT_EQ(form->findChildren<TAboutForm*>().size(), 1);
  for (QDialog* w : form->findChildren<QDialog*>()) {
    if (qobject_cast<TAboutForm*>(w)) continue;
    EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
  }
  EXPECT_EQ(d.dialogs.Count(), 0u);  // no "not available"
  form->AttachMachine(nullptr);
}

// The message boxes and queries of a tool window give the keyboard back to
// it when they close, also when the window manager has meanwhile given it
// to the main window (where the keys reach the emulated machine).
TEST(DialogWindows, AModalDialogGivesTheKeyboardBackToItsOpener) {
  using testing_support::WaitFor;
  platform::qt::FocusReturn focusReturn;
  platform::qt::QtDialogs qtDialogs;
  QWidget main;
  main.show();
  QDialog tool(&main);
  tool.setWindowFlags(Qt::Tool);
  tool.show();
  const std::pair<const char*, std::function<void()>> asks[] = {
      {"message", [&] { qtDialogs.Message("ULA settings", "INT out of frame range!", platform::MsgButtons::Ok, platform::MsgIcon::None, platform::MsgResult::Ok); }},
      {"query", [&] {
         std::string text = "#00";
         qtDialogs.InputQuery("Port #7FFD change", "Enter new value:", text);
       }},
  };
  for (const auto& [what, ask] : asks) {
    SCOPED_TRACE(what);
    tool.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &tool; }));
    QWidget* shown = nullptr;
    QTimer::singleShot(0, [&] {
      shown = QApplication::activeModalWidget();
      ASSERT_NE(shown, nullptr);
      EXPECT_EQ(focusReturn.Opener(shown), &tool);
      shown->close();
      main.activateWindow();  // as a window manager may do
    });
    ask();
    EXPECT_NE(shown, nullptr);
    EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &tool; }));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "dialogs_gui_test.moc"
