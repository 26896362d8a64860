// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system report pages: the facts page, the drive list with its drawn items and the
// updates list, paged with the strip's forward and back buttons. What is shown comes from
// the widget-free report; these handlers fill the pages and page through them.
#include "app/pages/page.h"

#include <QImage>
#include <QList>

#include <span>

class QPainter;
class QPalette;
class QRect;

namespace vt {

class ReportPage : public Page {
 public:
  explicit ReportPage(const PageContext& c) : Page(c) {}

  // Gives the drive list its drawn items and binds the pages' buttons; start-up.
  void PrepareReport();
  static std::span<const Click<ReportPage>> clicks();
  void Knopf_ReportClick();
  void Create_Report();
  // Draws one drive item: its icon (of removable, fixed, CD-ROM, network) and three lines.
  static void ListBox_DrivesDrawItem(QPainter* painter, const QRect& rect, const QString& itemText, const QPalette& palette,
                                     const QList<QImage>& icons);
  void ExplorerButton14Click();
  void ExplorerButton5Click();
  void ExplorerButton30Click();
  void pageReport(int step);
};

}  // namespace vt
