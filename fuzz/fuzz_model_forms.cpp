// Arbitrary bytes as the bodies of the device stream forms (definition,
// attribute row and text, parameter row and values, control row and value,
// command row, plain and child variants) applied to one device in turn; then
// the device must survive a save and load through the table file form
// unchanged, and the typed-in number parsers may refuse text but nothing
// else. Nothing may crash or read out of bounds.
//
// Input: a sequence of (operation byte, length byte, body) records.
#include "ObjectsList.h"

#include <cstdlib>
#include <string>

namespace {

std::string Dump(TObjFieldTab& tab) {
    std::string out;
    for (int i = 0; i < tab.ItemCount(); ++i) {
        tab.SetCurrent(i);
        TAttribute& rows = tab.GetAttributes();
        for (int r = 0; r < rows.RecCount(); ++r) {
            rows.SetRecNo(r);
            out += rows.GetName() + '\x1f' + rows.GetValue() + '\x1f' +
                   FieldTypeName(rows.GetType()) + '\x1f' + IntText(rows.GetOptions()) + '\x1e';
        }
        out += '\x1d';
    }
    return out;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void Apply(TLANObject& d, int op, TMemoryStream& body) {
    TMemoryStream out;
    switch (op % 24) {
    case 0:
        d.Definition().ReadDefinition(body);
        break;
    case 1:
        d.Definition().ReadChildDefinition(body);
        break;
    case 2:
        d.Attributes().ReadRow(body);
        break;
    case 3:
        d.Attributes().ReadChildRow(body);
        break;
    case 4:
        d.Attributes().AddRow(body);
        break;
    case 5:
        d.Attributes().AddChildRow(body);
        break;
    case 6:
        d.Attributes().ReadText(body);
        break;
    case 7:
        d.Attributes().ReadChildText(body);
        break;
    case 8:
        d.Parameters().ReadRow(body);
        break;
    case 9:
        d.Parameters().ReadChildRow(body);
        break;
    case 10:
        d.Parameters().AddRow(body);
        break;
    case 11:
        d.Parameters().AddChildRow(body);
        break;
    case 12:
        d.Parameters().ReadValues(body);
        break;
    case 13:
        d.Parameters().ReadChildValues(body);
        break;
    case 14:
        d.Controls().ReadRow(body);
        break;
    case 15:
        d.Controls().ReadChildRow(body);
        break;
    case 16:
        d.Controls().AddRow(body);
        break;
    case 17:
        d.Controls().AddChildRow(body);
        break;
    case 18:
        d.Controls().ReadValue(body);
        break;
    case 19:
        d.Controls().ReadChildValue(body);
        break;
    case 20:
        d.Commands().ReadRow(body);
        break;
    case 21:
        d.Commands().ReadChildRow(body);
        break;
    case 22:
        d.Commands().AddRow(body);
        break;
    case 23:
        d.Commands().AddChildRow(body);
        break;
    }
    // What was read must write back without trouble.
    if (d.AttributeCount() > 0) d.Attributes().WriteRow(out);
    if (d.ParameterCount() > 0) {
        d.Parameters().WriteRow(out);
        const int format = d.Parameters().GetFormat();
        const auto raw = static_cast<std::uint32_t>(d.Parameters().GetValue());
        const std::string text = FormatValue(format, raw);
        // Precision 0 is exact, so the text reads back as the number.
        if ((format & 0xF0) == 0) Check(ParseValue(format, text) == raw);
    }
    if (d.ControlCount() > 0) d.Controls().WriteRow(out);
    d.GetTitle();
    d.IsComplete();
}

void ParseTyped(const TMemoryStream& body) {
    const std::string text(body.Data().begin(), body.Data().end());
    const int format = body.Size() > 0 ? body.Data()[0] : 0;
    try {
        ParseValue(format, text);
    } catch (const EConvertError&) {
    }
    try {
        HexToInt(text);
    } catch (const EConvertError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TObjectsList site;
    TLANObject& device = *site.AddDevice();
    for (int i = 0; i < 2; ++i) {
        device.Attributes().AddItem();
        device.Parameters().AddItem();
        device.Controls().AddItem();
        device.Commands().AddItem();
    }
    std::size_t pos = 0;
    while (pos + 2 <= size) {
        const int op = data[pos];
        const std::size_t len = std::min<std::size_t>(data[pos + 1], size - pos - 2);
        TMemoryStream body(Bytes(data + pos + 2, data + pos + 2 + len));
        pos += 2 + len;
        Apply(device, op, body);
        ParseTyped(body);
    }

    auto saved = CreateTable({}, {});
    Check(SaveDevice(device, *saved));
    TMemoryStream file;
    saved->WriteToStream(file, TSavedStamp::Keep);
    file.SetPosition(0);
    TSDBase reread;
    Check(reread.ReadFromStream(file));
    TObjectsList offline;
    TLANObject& loaded = *offline.AddDevice();
    Check(LoadDevice(0, loaded, reread));
    Check(Dump(loaded.Definition()) == Dump(device.Definition()));
    Check(Dump(loaded.Attributes()) == Dump(device.Attributes()));
    Check(Dump(loaded.Parameters()) == Dump(device.Parameters()));
    Check(Dump(loaded.Controls()) == Dump(device.Controls()));
    Check(Dump(loaded.Commands()) == Dump(device.Commands()));
    return 0;
}
