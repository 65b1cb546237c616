// Feeds arbitrary bytes to the profile reader as a hand-written profile and
// decodes transactions drawn from the same bytes with whatever it read: a
// failed read changes nothing and gives a reason with its line; a profile
// read holds together (registers within the pointer's reach, fields within
// their registers); decoded text is one line and every pointer stays within
// the part's range.
#include "device/profiledecoder.h"
#include "device/profilereader.h"
#include "fuzzrequire.h"

#include <QBuffer>
#include <QtGlobal>

namespace {
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qInstallMessageHandler(quiet);
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    auto profile = std::make_shared<DeviceProfile>();
    profile->id = "untouched";
    QString why;
    if (!ProfileReader::read(&in, profile.get(), &why)) {
        require(profile->id == "untouched");
        require(why.startsWith(QStringLiteral("第 ")) || why == QStringLiteral("没有根元素"));
        return 0;
    }
    require(!profile->id.empty() && !profile->name.empty() && !profile->addresses.empty());
    for (uint8_t a : profile->addresses)
        require(a <= 0x7F);
    for (const ProfileRegister &r : profile->registers) {
        require(r.address < profile->span() && profile->registerAt(r.address) == &r);
        require(r.width >= 1 && r.width <= 4);
        for (const ProfileValue &f : r.fields)
            require(f.lowBit + f.bitCount <= r.bits());
    }
    // Transactions from the input's bytes: each byte's low bits choose
    // read or write, the rest are data.
    ProfileDecoder decoder;
    decoder.setProfile(profile->addresses[0], profile);
    ProfileDecoder::Output out;
    for (size_t at = 0; at < size;) {
        Transaction t;
        const size_t n = std::min<size_t>(size - at, 1 + data[at] % 24);
        TransactionSegment s;
        s.address = profile->addresses[0];
        s.read = data[at] & 0x80;
        s.addressNacked = (data[at] & 0x60) == 0x60;
        s.bytes.assign(data + at + 1, data + at + n);
        t.segments.push_back(s);
        at += n;
        decoder.decode(t, &out, (data[at - 1] & 1) != 0);
        require(out.text.find('\n') == std::string::npos);
        require(out.text.compare(0, profile->name.size(), profile->name) == 0);
    }
    return 0;
}
