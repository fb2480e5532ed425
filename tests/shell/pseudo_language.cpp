#include "tests/shell/pseudo_language.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <memory>

namespace dravolin::testing {

namespace {

const QString kOpen = QString::fromUtf8("⟦");
const QString kClose = QString::fromUtf8("⟧");

QStringList tsFiles() {
  const QDir dir(QStringLiteral(DRAVOLIN_TRANSLATIONS_DIR));
  QStringList files;
  for (const QString& name : dir.entryList({"dravolin_*.ts"}, QDir::Files, QDir::Name)) {
    files << dir.filePath(name);
  }
  return files;
}

// Copies a .ts file with every translation wrapped in the marks. The text of a translation (or
// of each of its numerus forms) is gathered whole, whatever tokens the reader splits it into.
bool writePseudoTs(const QString& from, const QString& to, QString& error) {
  QFile in(from);
  QFile out(to);
  if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
    error = "cannot copy " + from + " to " + to;
    return false;
  }
  QXmlStreamReader r(&in);
  QXmlStreamWriter w(&out);
  bool gathering = false;
  QString text;
  const auto flush = [&](bool wrap) {
    if (!gathering) return;
    w.writeCharacters(wrap && !text.trimmed().isEmpty() ? kOpen + text + kClose : text);
    gathering = false;
    text.clear();
  };
  while (!r.atEnd()) {
    r.readNext();
    switch (r.tokenType()) {
      case QXmlStreamReader::StartDocument:
        w.writeStartDocument();
        break;
      case QXmlStreamReader::DTD:
        w.writeDTD(r.text().toString());
        break;
      case QXmlStreamReader::StartElement: {
        flush(false);  // the white space of a translation that holds numerus forms
        w.writeStartElement(r.name().toString());
        const bool translation = r.name() == QLatin1String("translation");
        for (const QXmlStreamAttribute& a : r.attributes()) {
          // The pseudo-language counts as finished.
          if (translation && a.name() == QLatin1String("type")) continue;
          w.writeAttribute(a.name().toString(), a.value().toString());
        }
        gathering = translation || r.name() == QLatin1String("numerusform");
        break;
      }
      case QXmlStreamReader::Characters:
        if (gathering) {
          text += r.text();
        } else {
          w.writeCharacters(r.text().toString());
        }
        break;
      case QXmlStreamReader::EndElement:
        flush(true);
        w.writeEndElement();
        break;
      case QXmlStreamReader::EndDocument:
        w.writeEndDocument();
        break;
      default:
        break;
    }
  }
  if (r.hasError()) {
    error = from + ": " + r.errorString();
    return false;
  }
  return true;
}

QString run(const QString& program, const QStringList& arguments, QString* output) {
  QProcess p;
  p.start(program, arguments);
  if (!p.waitForFinished(120000)) return program + " did not finish";
  if (output != nullptr) *output = QString::fromUtf8(p.readAllStandardError());
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    return program + " failed: " + QString::fromUtf8(p.readAllStandardError());
  }
  return {};
}

}  // namespace

QString pseudoLanguageQm(QString* error) {
  static std::unique_ptr<QTemporaryDir> dir;
  static QString qm;
  static QString failure;
  if (dir == nullptr) {
    dir = std::make_unique<QTemporaryDir>();
    const QString ts = dir->filePath("dravolin_pseudo.ts");
    const QString made = dir->filePath("dravolin_pseudo.qm");
    if (writePseudoTs(QStringLiteral(DRAVOLIN_TRANSLATIONS_DIR) + "/dravolin_en.ts", ts, failure)) {
      failure = run(QStringLiteral(DRAVOLIN_LRELEASE), {"-silent", ts, "-qm", made}, nullptr);
      if (failure.isEmpty()) qm = made;
    }
  }
  if (error != nullptr) *error = failure;
  return qm;
}

QStringList incompleteTranslations() {
  QStringList problems;
  QFile list(QStringLiteral(DRAVOLIN_TRANSLATION_SOURCES));
  if (!list.open(QIODevice::ReadOnly))
    return {"cannot read the list of sources " + list.fileName()};
  QStringList sources;
  for (const QByteArray& line : list.readAll().split('\n')) {
    if (!line.trimmed().isEmpty()) sources << QString::fromUtf8(line.trimmed());
  }
  QTemporaryDir dir;
  const QStringList files = tsFiles();
  if (files.isEmpty()) problems << "no translations/dravolin_*.ts";
  for (const QString& ts : files) {
    const QString name = QFileInfo(ts).fileName();
    const QString copy = dir.filePath(name);
    QFile::copy(ts, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QString messages;
    const QString failed = run(QStringLiteral(DRAVOLIN_LUPDATE),
                               QStringList{"-I", QStringLiteral(DRAVOLIN_SOURCE_DIR), "-locations",
                                           "none", "-source-language", "ja"} +
                                   sources + QStringList{"-ts", copy},
                               &messages);
    if (!failed.isEmpty()) {
      problems << failed;
      continue;
    }
    // lupdate's warnings name a source file and line: a tr() it could not place in a context.
    for (const QString& line : messages.split('\n')) {
      if (line.contains(QRegularExpression(R"(\.(cpp|h):\d+:)"))) problems << name + ": " + line;
    }
    QFile file(copy);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader r(&file);
    QString context, source;
    while (!r.atEnd()) {
      r.readNext();
      if (!r.isStartElement()) continue;
      if (r.name() == QLatin1String("name")) {
        context = r.readElementText();
      } else if (r.name() == QLatin1String("source")) {
        source = r.readElementText();
      } else if (r.name() == QLatin1String("translation")) {
        const QString type = r.attributes().value("type").toString();
        if (type == "unfinished" || type == "vanished" || type == "obsolete") {
          problems << QString("%1: %2 %3 \"%4\"").arg(name, type, context, source);
        }
      }
    }
    if (r.hasError()) problems << name + ": " + r.errorString();
  }
  return problems;
}

std::vector<ShownText> shownTexts(const QWidget& window) {
  std::vector<ShownText> texts;
  const auto add = [&texts](const QString& where, const QString& text) {
    if (!text.trimmed().isEmpty()) texts.push_back({where, text});
  };
  std::function<void(const QString&, const QMenu&)> menu = [&](const QString& where,
                                                               const QMenu& m) {
    add(where + " title", m.title());
    for (const QAction* a : m.actions()) {
      const QString at = where + " > " + a->text();
      add(at, a->text());
      add(at + " tool tip",
          a->toolTip() == QString(a->text()).remove('&') ? QString() : a->toolTip());
      add(at + " status tip", a->statusTip());
      if (a->menu() != nullptr) menu(at, *a->menu());
    }
  };
  add("window title", window.windowTitle());
  // The window's own actions (a context menu).
  for (const QAction* a : window.actions()) {
    add("action " + a->text(), a->text());
    if (a->menu() != nullptr) menu("action", *a->menu());
  }
  for (const QWidget* w : window.findChildren<QWidget*>()) {
    const QString at = QString(w->metaObject()->className()) + " " + w->objectName();
    add(at + " tool tip", w->toolTip());
    add(at + " status tip", w->statusTip());
    if (const auto* l = qobject_cast<const QLabel*>(w)) add(at, l->text());
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) add(at, b->text());
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) add(at, g->title());
    if (const auto* e = qobject_cast<const QLineEdit*>(w)) add(at, e->placeholderText());
    if (const auto* m = qobject_cast<const QMenuBar*>(w)) {
      for (const QAction* a : m->actions()) {
        add(at + " " + a->text(), a->text());
        if (a->menu() != nullptr) menu(at + " " + a->text(), *a->menu());
      }
    }
    if (const auto* m = qobject_cast<const QMenu*>(w)) menu(at, *m);
    if (const auto* t = qobject_cast<const QTableWidget*>(w)) {
      for (int c = 0; c < t->columnCount(); ++c) {
        if (t->horizontalHeaderItem(c) != nullptr)
          add(at + " header", t->horizontalHeaderItem(c)->text());
        for (int r = 0; r < t->rowCount(); ++r) {
          if (t->item(r, c) != nullptr)
            add(at + QString(" cell %1,%2").arg(r).arg(c), t->item(r, c)->text());
        }
      }
    }
    if (const auto* list = qobject_cast<const QListWidget*>(w)) {
      for (int i = 0; i < list->count(); ++i) add(at + " item", list->item(i)->text());
    }
  }
  return texts;
}

QString escapedText(const QString& text, const QStringList& names) {
  QString rest = text;
  // The marks first (they may hold names, which are then inside), then the names.
  static const QRegularExpression marked(QString::fromUtf8("⟦[^⟧]*⟧"));
  rest.remove(marked);
  for (const QString& name : names) {
    if (!name.isEmpty()) rest.remove(name);
  }
  rest.remove('&');
  for (const QChar c : rest) {
    if (c.isLetter()) return rest;
  }
  return {};
}

}  // namespace dravolin::testing
