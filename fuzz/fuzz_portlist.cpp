// Arbitrary bytes as PortList.xml: reported or read, never a crash.
#include "SetEnabledCOM.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.path() + "/PortList.xml";
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    TEnCOMList list(path.toStdString());
    for (int i = 0; i < list.Count(); ++i)
        (void)list.Mark(i);
    return 0;
}
