#include "TextCodec.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

std::string TTextCodec::ToUtf8(const std::string& bytes) const {
    QStringDecoder decode(codePage_.c_str());
    if (!decode.isValid()) return bytes;
    const QString text = decode(QByteArray::fromStdString(bytes));
    return text.toUtf8().toStdString();
}

std::string TTextCodec::FromUtf8(const std::string& utf8) const {
    QStringEncoder encode(codePage_.c_str(), QStringConverter::Flag::Default);
    if (!encode.isValid()) return utf8;
    const QByteArray bytes =
        encode(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    return bytes.toStdString();
}
