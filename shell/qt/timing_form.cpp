#include "shell/qt/timing_form.h"

#include <QCheckBox>
#include <algorithm>
#include <optional>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "shell/qt/dialog_window.h"

// Hands every keystroke in a value cell to the form, as the grid's
// edit-text event does, not only the finished edit. Escape makes the grid
// show the cell's old text again; the form then goes back to where it was
// when the edit began, so that Apply cannot store what no cell shows.
class TTimingForm::CellEditor final : public QStyledItemDelegate {
 public:
  explicit CellEditor(TTimingForm& form) : QStyledItemDelegate(&form), form_(form) {
    connect(this, &QAbstractItemDelegate::closeEditor, &form_, [this](QWidget*, EndEditHint hint) {
      if (hint == RevertModelCache && before_) {
        form_.dialog_ = *before_;
        form_.ShowState(false);
      }
      before_.reset();
    });
  }
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    before_ = form_.dialog_;
    auto* edit = new QLineEdit(parent);
    const int row = index.row();
    connect(edit, &QLineEdit::textEdited, &form_, [this, row](const QString& text) {
      form_.ValuesGridSetEditText(row, text);
    });
    return edit;
  }

 private:
  TTimingForm& form_;
  mutable std::optional<TTimingDialog> before_;
};

TTimingForm::TTimingForm(TZXHardware& machine, QWidget* parent) : QDialog(parent), machine_(machine) {
  setObjectName("TimingForm");
  setWindowTitle("ULA settings");
  dialog_window::MakeToolWindow(*this, 261, 254);

  Label2 = new QLabel("Presettings:", this);
  dialog_window::SetBold(*Label2);
  Label2->setGeometry(8, 6, 245, 16);
  PresetCombo = new QComboBox(this);
  dialog_window::SetBold(*PresetCombo);
  PresetCombo->setGeometry(8, 22, 245, 22);

  ValuesGrid = new QTableWidget(TTimingDialog::kRows + 1, 2, this);
  ValuesGrid->setGeometry(8, 52, 245, 148);
  ValuesGrid->horizontalHeader()->hide();
  ValuesGrid->verticalHeader()->hide();
  ValuesGrid->setShowGrid(true);
  ValuesGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ValuesGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ValuesGrid->setTabKeyNavigation(true);
  ValuesGrid->setItemDelegateForColumn(1, new CellEditor(*this));
  ValuesGrid->setEditTriggers(QAbstractItemView::AllEditTriggers);
  connect(ValuesGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!filling_ && item->column() == 1 && item->row() >= 1) ValuesGridSetEditText(item->row(), item->text());
  });

  CheckAlignM1 = new QCheckBox("Align M1", this);
  CheckAlignM1->setGeometry(8, 204, 120, 18);
  connect(CheckAlignM1, &QCheckBox::clicked, this, [this] { CheckAlignM1Click(); });

  ButtonCancel = new QPushButton("Cancel", this);
  ButtonCancel->setGeometry(96, 224, 75, 25);
  ButtonOK = new QPushButton("Apply", this);
  ButtonOK->setGeometry(178, 224, 75, 25);
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
  connect(PresetCombo, &QComboBox::activated, this, [this](int index) { PresetComboChange(index); });
}

void TTimingForm::ShowTimingForm() {
  // The fixed row and column, sized from the grid's font.
  filling_ = true;
  const QFontMetrics metrics(ValuesGrid->font());
  // The value column is cut to the window where this font is wider than
  // the grid's room, but always holds the longest value a cell shows (a
  // negative paper start read unsigned) with the editor's margins; where
  // both do not fit, the caption column gives way.
  const int frame = 2 * ValuesGrid->frameWidth();
  const int room = ValuesGrid->width() - frame;
  const int longestValue = metrics.horizontalAdvance(kLongestTimingValue) + kCellMargins;
  const int caption = std::max(0, std::min(metrics.horizontalAdvance("Begin PAPER in line") + 16,
                                           room - longestValue));
  ValuesGrid->setColumnWidth(0, caption);
  ValuesGrid->setColumnWidth(1, std::max(longestValue, std::min(metrics.horizontalAdvance("AAAAAAAAAAAAAA"),
                                                                room - caption)));
  const int rowHeight = metrics.boundingRect("Last tick INT").height() + 3;
  ValuesGrid->verticalHeader()->setMinimumSectionSize(rowHeight);
  ValuesGrid->verticalHeader()->setDefaultSectionSize(rowHeight);
  ValuesGrid->resize(ValuesGrid->width(), ValuesGrid->rowCount() * rowHeight + frame);
  const auto fixedCell = [this](int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setBackground(palette().button());
    ValuesGrid->setItem(row, column, item);
  };
  fixedCell(0, 0, "Param");
  fixedCell(0, 1, "Value");
  for (int r = 0; r < TTimingDialog::kRows; ++r) fixedCell(r + 1, 0, TTimingDialog::kRowCaptions[size_t(r)]);
  filling_ = false;

  // Drop any open cell editor (uncommitted) before the cells are rewritten.
  ValuesGrid->reset();
  dialog_.Open(machine_.Timing);
  PresetCombo->clear();
  for (int i = 0; i < TTimingDialog::kPresetItems; ++i) PresetCombo->addItem(TTimingDialog::PresetItem(i));
  ShowState(true);
  dialog_window::ShowInFront(*this);
}

void TTimingForm::ShowState(bool cells) {
  filling_ = true;
  if (cells) {
    for (int r = 0; r < TTimingDialog::kRows; ++r) {
      QTableWidgetItem* item = ValuesGrid->item(r + 1, 1);
      if (!item) ValuesGrid->setItem(r + 1, 1, item = new QTableWidgetItem);
      item->setText(QString::fromStdString(dialog_.Cell(r)));
    }
  }
  CheckAlignM1->setChecked(dialog_.AlignM1());
  if (PresetCombo->currentIndex() != dialog_.PresetIndex()) PresetCombo->setCurrentIndex(dialog_.PresetIndex());
  ButtonOK->setEnabled(dialog_.ApplyEnabled());
  filling_ = false;
}

void TTimingForm::ValuesGridSetEditText(int row, const QString& text) {
  if (row < 1 || row > TTimingDialog::kRows) return;
  dialog_.SetCell(row - 1, text.toStdString());
  ShowState(false);
}

void TTimingForm::CheckAlignM1Click() {
  dialog_.SetAlignM1(CheckAlignM1->isChecked());
  ShowState(false);
}

void TTimingForm::PresetComboChange(int index) {
  if (index < 1) return;  // "<User defined>" stays chosen and changes nothing
  dialog_.ChoosePreset(index);
  ShowState(true);
}

void TTimingForm::ButtonOKClick() {
  dialog_.Apply(machine_);
  ShowState(false);
}

void TTimingForm::ButtonCancelClick() { hide(); }
