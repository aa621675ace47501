// Reading goes through QtXml's DOM; writing through QXmlStreamWriter, which,
// unlike the DOM, keeps the attributes in the order the file has them.
#include "SetEnabledCOM.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamWriter>

TEnCOMList::TEnCOMList(std::string path, IOperatorMessages* messages)
    : path_(std::move(path)), messages_(messages) {
    LoadFromFile();
    Modified = false;
}

TEnCOMList::~TEnCOMList() {
    if (Modified) SaveToFile();
}

std::string TEnCOMList::Name(int index) const {
    return index >= 0 && index < Count() ? entries_[static_cast<std::size_t>(index)].name
                                         : std::string();
}

int TEnCOMList::Mark(int index) const {
    return index >= 0 && index < Count() ? entries_[static_cast<std::size_t>(index)].mark : 0;
}

void TEnCOMList::SetMark(int index, int mark) {
    if (index >= 0 && index < Count()) entries_[static_cast<std::size_t>(index)].mark = mark;
}

void TEnCOMList::Add(const std::string& name, int mark) {
    entries_.push_back({name, mark});
}

void TEnCOMList::AddDefaultPorts() {
    for (int n = 1; n <= 15; ++n)
        Add("COM" + std::to_string(n), 0);
}

void TEnCOMList::Report(const std::string& text) const {
    if (messages_) messages_->ShowMessage(text);
}

bool TEnCOMList::LoadFromFile() {
    QFile file(QString::fromStdString(path_));
    if (!file.exists()) return true;
    if (!file.open(QIODevice::ReadOnly)) {
        Report(path_ + ": cannot be read (" + file.errorString().toStdString() +
               "); no port is enabled");
        return false;
    }
    QDomDocument doc;
    QString error;
    int line = 0, column = 0;
    if (!doc.setContent(file.readAll(), &error, &line, &column)) {
        Report(path_ + ": not a port list (line " + std::to_string(line) + ", column " +
               std::to_string(column) + ": " + error.toStdString() +
               "); no port is enabled, and the file is kept as it is");
        return false;
    }
    const QDomElement root = doc.documentElement();
    if (root.firstChildElement().isNull()) {
        AddDefaultPorts();
        return true;
    }
    Clear();
    int children = 0;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        ++children;
    bool sound = true;
    for (int k = 1; k <= children; ++k) {
        const QString name = QStringLiteral("COM%1").arg(k);
        const QDomElement e = root.firstChildElement(name);
        if (e.isNull()) continue;
        int mark = 0;
        if (e.hasAttributes()) {
            const QString value = e.attribute(QStringLiteral("Value"));
            bool ok = false;
            mark = value.toInt(&ok, 10);
            if (!ok) {
                mark = 0;
                sound = false;
                Report(path_ + ": " + name.toStdString() + " has the mark \"" +
                       value.toStdString() + "\", which is not a whole number; it is read as 0");
            }
        }
        Add(name.toStdString(), mark);
    }
    return sound;
}

bool TEnCOMList::SaveToFile() {
    const QString path = QString::fromStdString(path_);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Report(path_ + ": cannot be written (" + file.errorString().toStdString() + ")");
        return false;
    }
    QXmlStreamWriter w(&file);
    w.writeProcessingInstruction(QStringLiteral("xml"),
                                 QStringLiteral("version=\"1.0\" encoding=\"utf-8\""));
    w.writeStartElement(QStringLiteral("PORTLIST"));
    for (int i = 0; i < Count(); ++i) {
        w.writeEmptyElement(QStringLiteral("COM%1").arg(i + 1));
        w.writeAttribute(QStringLiteral("Type"), QStringLiteral("boolean"));
        w.writeAttribute(QStringLiteral("Value"), QString::number(Mark(i)));
    }
    w.writeEndElement();
    w.writeEndDocument();
    if (w.hasError() || !file.commit()) {
        Report(path_ + ": cannot be written (" + file.errorString().toStdString() + ")");
        return false;
    }
    return true;
}
