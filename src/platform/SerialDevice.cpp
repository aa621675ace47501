#include "SerialDevice.h"

int CharacterTenthBits(const TLineSettings& s) {
    const int data = s.dataBits >= 4 && s.dataBits <= 8 ? s.dataBits : 8;
    const int parity = s.parity == TParity::None ? 0 : 1;
    const int stop = s.stopBits == TStopBits::Two          ? 20
                     : s.stopBits == TStopBits::OneAndHalf ? 15
                                                           : 10;
    return 10 * (1 + data + parity) + stop;
}
