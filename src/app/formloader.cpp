// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/formloader.h"

#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "app/controls/tarvolabel.h"
#include "app/image.h"
#include "app/updown.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTreeWidget>

#include <functional>
#include <future>
#include <memory>

namespace vt {

namespace {

QString skinPicturePath(const QString& name) { return QStringLiteral(":/skin/%1.png").arg(name); }

// A page of a notebook; its caption is the page's design name.
QWidget* makePage(QWidget* parent) {
  auto* page = new QWidget;
  if (auto* book = qobject_cast<QStackedWidget*>(parent)) book->addWidget(page);
  return page;
}

QObject* create(const QString& cls, QWidget* parent) {
  static const QHash<QString, std::function<QObject*(QWidget*)>> factories = {
      {QStringLiteral("TExplorerButton"), [](QWidget* p) { return new TExplorerButton(p); }},
      {QStringLiteral("TTarvoCheckBox"), [](QWidget* p) { return new TTarvoCheckBox(p); }},
      {QStringLiteral("TTarvoLabel"), [](QWidget* p) { return new TTarvoLabel(p); }},
      {QStringLiteral("TLabel"), [](QWidget* p) { return new QLabel(p); }},
      {QStringLiteral("TImage"), [](QWidget* p) { return new TImage(p); }},
      {QStringLiteral("TNotebook"), [](QWidget* p) { return new QStackedWidget(p); }},
      {QStringLiteral("TPage"), [](QWidget* p) { return makePage(p); }},
      {QStringLiteral("TPanel"),
       [](QWidget* p) {
         auto* f = new QLabel(p);
         f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
         f->setAlignment(Qt::AlignCenter);
         return f;
       }},
      {QStringLiteral("TEdit"), [](QWidget* p) { return new QLineEdit(p); }},
      {QStringLiteral("TMemo"), [](QWidget* p) { return new QPlainTextEdit(p); }},
      {QStringLiteral("TListBox"), [](QWidget* p) { return new QListWidget(p); }},
      {QStringLiteral("TCheckListBox"), [](QWidget* p) { return new QListWidget(p); }},
      {QStringLiteral("TListView"),
       [](QWidget* p) {
         auto* t = new QTreeWidget(p);
         t->setRootIsDecorated(false);
         return t;
       }},
      {QStringLiteral("TProgressBar"),
       [](QWidget* p) {
         auto* b = new QProgressBar(p);
         b->setTextVisible(false);
         return b;
       }},
      {QStringLiteral("TUpDown"), [](QWidget* p) { return new TUpDown(p); }},
      // Non-visual components: they exist for their names and later behaviour.
      {QStringLiteral("TMediaPlayer"), [](QWidget* p) { return new QObject(p); }},
      {QStringLiteral("TOpenPictureDialog"), [](QWidget* p) { return new QObject(p); }},
  };
  auto it = factories.constFind(cls);
  return it == factories.constEnd() ? nullptr : (*it)(parent);
}

void applyFont(QWidget* w, const QJsonObject& f) {
  QFont font = w->font();
  if (f.contains(QLatin1String("size"))) font.setPointSizeF(f.value(QLatin1String("size")).toDouble());
  if (f.contains(QLatin1String("bold"))) font.setBold(f.value(QLatin1String("bold")).toBool());
  if (f.contains(QLatin1String("italic"))) font.setItalic(f.value(QLatin1String("italic")).toBool());
  if (f.contains(QLatin1String("underline"))) font.setUnderline(f.value(QLatin1String("underline")).toBool());
  w->setFont(font);
  if (f.contains(QLatin1String("color"))) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, QColor(f.value(QLatin1String("color")).toString()));
    pal.setColor(QPalette::Text, QColor(f.value(QLatin1String("color")).toString()));
    w->setPalette(pal);
  }
}

Qt::Alignment alignmentFrom(const QString& a) {
  if (a == QLatin1String("center")) return Qt::AlignHCenter | Qt::AlignTop;
  if (a == QLatin1String("right")) return Qt::AlignRight | Qt::AlignTop;
  return Qt::AlignLeft | Qt::AlignTop;
}

bool applyProperty(QObject* o, const QString& key, const QJsonValue& v, QString* error) {
  auto* w = qobject_cast<QWidget*>(o);
  auto* label = qobject_cast<QLabel*>(o);
  if (key == QLatin1String("geometry")) {
    const QJsonArray g = v.toArray();
    if (g.size() != 4) {
      *error = QStringLiteral("geometry needs [x, y, width, height]");
      return false;
    }
    if (w) w->setGeometry(g[0].toInt(), g[1].toInt(), g[2].toInt(), g[3].toInt());
    return true;
  }
  if (key == QLatin1String("Visible")) {
    if (w && !v.toBool(true)) w->setVisible(false);
    return true;
  }
  if (key == QLatin1String("Enabled")) {
    if (w) w->setEnabled(v.toBool(true));
    return true;
  }
  if (key == QLatin1String("font")) {
    if (w) applyFont(w, v.toObject());
    return true;
  }
  if (key == QLatin1String("picture")) {
    auto* image = qobject_cast<TImage*>(o);
    if (!image || !QFile::exists(skinPicturePath(v.toString()))) {
      *error = QStringLiteral("no skin picture \"%1\"").arg(v.toString());
      return false;
    }
    image->setSkinPicture(v.toString());
    return true;
  }
  if (label && key == QLatin1String("Caption") && o->metaObject()->indexOfProperty("Caption") < 0) {
    label->setText(v.toString());
    return true;
  }
  if (label && key == QLatin1String("wordWrap")) {
    label->setWordWrap(v.toBool());
    return true;
  }
  if (label && key == QLatin1String("alignment")) {
    label->setAlignment(alignmentFrom(v.toString()));
    return true;
  }
  if (auto* edit = qobject_cast<QLineEdit*>(o)) {
    if (key == QLatin1String("Text")) return edit->setText(v.toString()), true;
    if (key == QLatin1String("ReadOnly")) return edit->setReadOnly(v.toBool()), true;
  }
  if (auto* memo = qobject_cast<QPlainTextEdit*>(o)) {
    if (key == QLatin1String("Lines")) {
      QStringList lines;
      for (const QJsonValue& l : v.toArray()) lines << l.toString();
      memo->setPlainText(lines.join(QLatin1Char('\n')));
      return true;
    }
    if (key == QLatin1String("ReadOnly")) return memo->setReadOnly(v.toBool()), true;
  }
  if (auto* bar = qobject_cast<QProgressBar*>(o)) {
    if (key == QLatin1String("Min")) return bar->setMinimum(v.toInt()), true;
    if (key == QLatin1String("Max")) return bar->setMaximum(v.toInt()), true;
  }
  if (auto* view = qobject_cast<QTreeWidget*>(o); view && key == QLatin1String("Columns")) {
    QStringList de, en;
    const QJsonArray cols = v.toArray();
    for (const QJsonValue& c : cols) {
      de << c.toObject().value(QLatin1String("Caption")).toString();
      en << c.toObject().value(QLatin1String("CaptionENG")).toString(de.last());
    }
    view->setHeaderLabels(de);
    view->setProperty("ColumnsENG", en);
    for (int i = 0; i < cols.size(); ++i)
      if (int width = cols[i].toObject().value(QLatin1String("Width")).toInt()) view->setColumnWidth(i, width);
    return true;
  }
  // Everything else is a property of the component's class (Caption, CaptionENG, Hint,
  // Tag, checked, ...); names the class lacks are kept as dynamic properties.
  o->setProperty(key.toLatin1().constData(), v.toVariant());
  return true;
}

}  // namespace

namespace {

QImage decodeSkinPicture(const QString& name) {
  QImageReader reader(skinPicturePath(name), "png");
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

using Decoded = QHash<QString, QImage>;

std::shared_future<Decoded>& preloaded() {
  static std::shared_future<Decoded> decoding;
  return decoding;
}

}  // namespace

WindowPreload::~WindowPreload() {
  if (preloaded().valid()) preloaded().wait();
}

WindowPreload::WindowPreload() {
  if (preloaded().valid()) return;
  preloaded() = std::async(std::launch::async, [font = QApplication::font()] {
                  // The first text laid out loads the font database and the font, which
                  // takes longer than building every control; here it is done meanwhile.
                  (void)QFontMetrics(font).horizontalAdvance(QStringLiteral("Vantrel"));
                  Decoded decoded;
                  const QStringList files = QDir(QStringLiteral(":/skin")).entryList({QStringLiteral("*.png")}, QDir::Files);
                  for (const QString& file : files) {
                    const QString name = file.chopped(4);
                    // The 16-colour skin is drawn only on a machine set to 16 colours, the
                    // drive icons only once the report's drive page is: both when asked for.
                    if (!name.endsWith(QLatin1String("_16col")) && !name.startsWith(QLatin1String("Drive_")))
                      decoded.insert(name, decodeSkinPicture(name));
                  }
                  return decoded;
                }).share();
}

QImage skinPicture(const QString& name) {
  if (preloaded().valid()) {
    const Decoded& decoded = preloaded().get();
    if (auto it = decoded.constFind(name); it != decoded.constEnd()) return *it;
  }
  return decodeSkinPicture(name);
}

bool loadForm(const QByteArray& json, QWidget* window, Form* form, QString* error) {
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
  if (doc.isNull()) {
    *error = QStringLiteral("form description: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
    return false;
  }
  Form built;
  built.byName.insert(QStringLiteral("Form1"), window);
  // Everything is created under a holder first, so a failure leaves the window untouched.
  std::vector<std::unique_ptr<QObject>> roots;
  const QJsonArray list = doc.object().value(QLatin1String("components")).toArray();
  for (qsizetype i = 0; i < list.size(); ++i) {
    const QJsonObject c = list[i].toObject();
    const QString cls = c.value(QLatin1String("class")).toString();
    const QString name = c.value(QLatin1String("name")).toString();
    const QString parentName = c.value(QLatin1String("parent")).toString();
    auto fail = [&](const QString& why) {
      *error = QStringLiteral("form description, component %1 (%2): %3").arg(i).arg(name.isEmpty() ? cls : name, why);
      return false;
    };
    if (name.isEmpty()) return fail(QStringLiteral("has no name"));
    if (built.byName.contains(name)) return fail(QStringLiteral("the name is used twice"));
    QObject* parentObject = built.byName.value(parentName);
    if (!parentObject) return fail(QStringLiteral("its parent \"%1\" comes later or does not exist").arg(parentName));
    auto* parentWidget = qobject_cast<QWidget*>(parentObject);
    if (!parentWidget) return fail(QStringLiteral("its parent \"%1\" cannot hold controls").arg(parentName));
    QWidget* effectiveParent = parentWidget == window ? nullptr : parentWidget;
    QObject* o = create(cls, effectiveParent);
    if (!o) return fail(QStringLiteral("unknown class \"%1\"").arg(cls));
    if (!effectiveParent) roots.emplace_back(o);
    o->setObjectName(name);
    for (auto it = c.constBegin(); it != c.constEnd(); ++it) {
      const QString key = it.key();
      if (key == QLatin1String("class") || key == QLatin1String("name") || key == QLatin1String("parent")) continue;
      QString why;
      if (!applyProperty(o, key, it.value(), &why)) return fail(why);
    }
    built.components << o;
    built.byName.insert(name, o);
  }
  for (auto& r : roots) {
    QObject* o = r.release();
    if (auto* w = qobject_cast<QWidget*>(o)) {
      const QRect g = w->geometry();
      const bool hidden = w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide);
      w->setParent(window);
      w->setGeometry(g);
      if (!hidden) w->show();
    } else {
      o->setParent(window);
    }
  }
  built.byName.remove(QStringLiteral("Form1"));
  *form = std::move(built);
  return true;
}

}  // namespace vt
