// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/reportpage.h"

#include "app/controls/bitmaputil.h"
#include "app/formloader.h"
#include "diagnosis/report.h"
#include "platform/machine.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>

namespace vt {

namespace {

constexpr int kWorkPage = 33, kFactsPage = 3, kUpdatesPage = 5, kReportStrip = 2;

// Draws a drive item: its icon at the left, its three lines beside it.
class DriveItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    // Decoded and keyed once, when the drive page is first drawn, not at start-up.
    if (icons_.isEmpty())
      for (const char* name : {"Removable", "Fixed", "CdRom", "Network"})
        icons_.push_back(skin::keyedImage(skinPicture(QStringLiteral("Drive_") + QLatin1String(name))));
    ReportPage::ListBox_DrivesDrawItem(painter, option.rect, index.data().toString(), option.palette, icons_);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override { return {option.rect.width(), 64}; }

 private:
  mutable QList<QImage> icons_;
};

constexpr Click<ReportPage> kClicks[] = {
    {"Knopf_Report", &ReportPage::Knopf_ReportClick},
    {"ExplorerButton14", &ReportPage::ExplorerButton14Click},
    {"ExplorerButton5", &ReportPage::ExplorerButton5Click},
    {"ExplorerButton30", &ReportPage::ExplorerButton30Click},
};

}  // namespace

std::span<const Click<ReportPage>> ReportPage::clicks() { return kClicks; }

void ReportPage::PrepareReport() {
  if (auto* drives = get<QListWidget>("ListBox_Drives")) {
    drives->setItemDelegate(new DriveItemDelegate(drives));
    drives->setUniformItemSizes(true);
  }
  connectClicks<ReportPage>(*this, kClicks);
}

void ReportPage::Knopf_ReportClick() {
  if (notebook1()) notebook1()->setCurrentIndex(kWorkPage);
  if (notebook2()) notebook2()->setVisible(false);
  if (notebook1()) notebook1()->repaint();
  for (const char* name : {"ListBox_Drives", "ListBox_Updates"})
    if (auto* list = get<QListWidget>(name)) list->clear();
  Create_Report();
  if (notebook1()) notebook1()->setCurrentIndex(kFactsPage);
  if (auto* back = get<TExplorerButton>("ExplorerButton5")) back->setVisible(false);
  if (auto* forward = get<TExplorerButton>("ExplorerButton14")) forward->setVisible(true);
  if (notebook2()) {
    notebook2()->setCurrentIndex(kReportStrip);
    notebook2()->setVisible(true);
    notebook2()->repaint();
  }
  if (notebook1()) notebook1()->repaint();
}

void ReportPage::Create_Report() {
  const diagnosis::SystemReport r = diagnosis::Create_Report(machine_, reg_, files_, osInfo_, state_);
  const std::pair<const char*, const QString*> rows[] = {
      {"Label_CPU", &r.cpu},           {"Label_RAM", &r.ram},      {"Label_BIOS", &r.bios},
      {"Label_SFX", &r.sound},         {"Label_GFX", &r.graphics}, {"Label_Maus", &r.mouse},
      {"Label_Tastatur", &r.keyboard}, {"Label_Modem", &r.modem},  {"Label_Drucker", &r.printer},
  };
  for (const auto& [name, value] : rows)
    if (auto* label = get<QLabel>(name)) label->setText(*value);
  if (auto* drives = get<QListWidget>("ListBox_Drives"))
    for (const diagnosis::DriveItem& item : r.drives) drives->addItem(item.itemText());
  if (auto* updates = get<QListWidget>("ListBox_Updates")) updates->addItems(r.updates);
}

void ReportPage::ListBox_DrivesDrawItem(QPainter* painter, const QRect& rect, const QString& itemText, const QPalette& palette,
                                        const QList<QImage>& icons) {
  painter->fillRect(rect, palette.base());
  const diagnosis::DriveItem item = diagnosis::DriveItem::fromItemText(itemText);
  if (item.icon < icons.size()) painter->drawImage(rect.left() + 4, rect.top() + 16, icons[item.icon]);
  painter->setPen(palette.text().color());
  const QFontMetrics metrics(painter->font());
  for (int i = 0; i < 3; ++i) painter->drawText(rect.left() + 40, rect.top() + 4 + 20 * i + metrics.ascent(), item.lines[i]);
}

// --- paging ----------------------------------------------------------------------------

void ReportPage::ExplorerButton14Click() { pageReport(+1); }
void ReportPage::ExplorerButton5Click() { pageReport(-1); }

// One page on or back among the three; the strip offers only the ways that lead somewhere.
void ReportPage::pageReport(int step) {
  if (!notebook1()) return;
  const int page = notebook1()->currentIndex();
  if (page >= kFactsPage && page <= kUpdatesPage) notebook1()->setCurrentIndex(std::clamp(page + step, kFactsPage, kUpdatesPage));
  if (auto* back = get<TExplorerButton>("ExplorerButton5")) back->setVisible(notebook1()->currentIndex() != kFactsPage);
  if (auto* forward = get<TExplorerButton>("ExplorerButton14")) forward->setVisible(notebook1()->currentIndex() != kUpdatesPage);
}

void ReportPage::ExplorerButton30Click() { host_.Diagnose(); }

}  // namespace vt
