#include "device/profilereader.h"

#include "fileio/regularfile.h"
#include "fileio/xmlwalker.h"

#include <QFile>
#include <QObject>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

enum class Kind { Root, Address, Pointer, Register, Commands, Command, Value, Item };

// The attributes each element may carry; anything else is a typing error
// the user wants to hear about.
const QSet<QString> kValueAttributes = {"bits",     "format", "signed", "scale",    "offset",
                                        "decimals", "unit",   "inline", "whenMask", "whenValue"};

// A name or text from the file, trimmed, with control characters (a line
// feed from a character reference, say) as spaces: decoded text is one line.
QString clean(QString s)
{
    for (QChar &c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return s.trimmed();
}

class Reader
{
public:
    explicit Reader(QIODevice *device) : m_walker(device, ProfileReader::kMaxDepth) {}

    bool read(DeviceProfile *out, QString *errorText)
    {
        while (m_walker.next()) {
            switch (m_walker.node()) {
            case XmlWalker::Node::Start:
                start();
                break;
            case XmlWalker::Node::End:
                end();
                break;
            case XmlWalker::Node::Text:
                if (m_stack.empty() ||
                    (m_stack.back() != Kind::Address && m_stack.back() != Kind::Item))
                    fail(QObject::tr("此处不能有文本"));
                else
                    m_text += m_walker.text();
                break;
            case XmlWalker::Node::Other:
                break;
            }
        }
        if (!m_walker.succeeded(errorText))
            return false;
        *out = std::move(m_profile);
        return true;
    }

private:
    // Stops the walk with why; false, for the callers to return.
    bool fail(const QString &why)
    {
        m_walker.fail(why);
        return false;
    }

    bool allowed(std::initializer_list<const char *> names, bool valueAttributes)
    {
        for (const QXmlStreamAttribute &a : m_walker.attributes()) {
            const QString name = a.name().toString();
            bool known = valueAttributes && kValueAttributes.contains(name);
            for (const char *n : names)
                known = known || name == QLatin1String(n);
            if (!known) {
                return fail(QObject::tr("<%1> 不认识属性 %2").arg(m_walker.name()).arg(name));
            }
        }
        return true;
    }

    QString text(const char *name) const
    {
        return clean(m_walker.attribute(QLatin1String(name)).toString());
    }

    // A number attribute: hex for bus values (0x optional), else decimal.
    // Absent: *value stays. False (and the walk failed) when it does not parse
    // or lies outside [low, high].
    bool number(const char *name, bool hex, uint32_t low, uint32_t high, uint32_t *value)
    {
        QString t = text(name);
        if (t.isEmpty())
            return true;
        if (hex && t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            t.remove(0, 2);
        bool ok = false;
        const qulonglong v = t.toULongLong(&ok, hex ? 16 : 10);
        if (!ok || v < low || v > high) {
            return fail(QObject::tr("%1=\"%2\" 不是 %3..%4 之间的%5数")
                            .arg(QLatin1String(name), text(name))
                            .arg(low)
                            .arg(high)
                            .arg(hex ? QObject::tr("十六进制") : QString()));
        }
        *value = uint32_t(v);
        return true;
    }

    bool real(const char *name, double *value)
    {
        const QString t = text(name);
        if (t.isEmpty())
            return true;
        bool ok = false;
        const double v = t.toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            return fail(QObject::tr("%1=\"%2\" 不是数").arg(QLatin1String(name), t));
        }
        *value = v;
        return true;
    }

    bool flag(const char *name, bool *value)
    {
        const QString t = text(name);
        if (t.isEmpty())
            return true;
        if (t != QLatin1String("true") && t != QLatin1String("false")) {
            return fail(QObject::tr("%1 只能是 true 或 false").arg(QLatin1String(name)));
        }
        *value = t == QLatin1String("true");
        return true;
    }

    bool value(ProfileValue *v, int registerBits)
    {
        static const char *const kFormats[] = {"hex", "unsigned", "signed", "bcd", "enum", "scale"};
        const QString format = text("format");
        if (!format.isEmpty()) {
            const auto *end = std::end(kFormats);
            const auto *it = std::find_if(std::begin(kFormats), end, [&](const char *f) {
                return format == QLatin1String(f);
            });
            if (it == end) {
                return fail(QObject::tr("未知的格式 \"%1\"").arg(format));
            }
            v->format = ProfileValue::Format(it - std::begin(kFormats));
        }
        const QString bits = text("bits");
        if (!bits.isEmpty()) {
            const QStringList parts = bits.split(QLatin1Char(':'));
            bool okHigh = false, okLow = true;
            const int high = parts[0].toInt(&okHigh);
            const int low = parts.size() == 2 ? parts[1].toInt(&okLow) : high;
            if (parts.size() > 2 || !okHigh || !okLow || low < 0 || high < low ||
                high >= registerBits) {
                return fail(
                    QObject::tr("bits=\"%1\" 不在寄存器的 %2 位之内").arg(bits).arg(registerBits));
            }
            v->lowBit = uint8_t(low);
            v->bitCount = uint8_t(high - low + 1);
        }
        uint32_t decimals = uint32_t(v->decimals);
        const bool ok = flag("signed", &v->isSigned) && real("scale", &v->scale) &&
                        real("offset", &v->offset) && flag("inline", &v->inlineShown) &&
                        number("whenMask", true, 0, 0xFFFFFFFF, &v->whenMask) &&
                        number("whenValue", true, 0, 0xFFFFFFFF, &v->whenValue);
        if (!ok || (!text("decimals").isEmpty() && !number("decimals", false, 0, 9, &decimals)))
            return false;
        v->decimals = int(decimals);
        v->unit = text("unit").toStdString();
        return true;
    }

    bool registerAttributes(ProfileRegister *r)
    {
        if (!allowed({"address", "name", "width", "order", "access", "hidden"}, true))
            return false;
        r->name = text("name").toStdString();
        if (r->name.empty()) {
            return fail(QObject::tr("寄存器没有名称"));
        }
        uint32_t width = 1;
        if (!number("address", true, 0, 0xFFFF, &r->address) ||
            !number("width", false, 1, 4, &width) || !flag("hidden", &r->hidden))
            return false;
        r->width = uint8_t(width);
        const QString order = text("order");
        if (!order.isEmpty() && order != QLatin1String("msb") && order != QLatin1String("lsb")) {
            return fail(QObject::tr("order 只能是 msb 或 lsb"));
        }
        r->littleEndian = order == QLatin1String("lsb");
        const QString access = text("access");
        static const char *const kAccess[] = {"", "r", "w", "rw"};
        const auto *it = std::find_if(std::begin(kAccess) + 1, std::end(kAccess),
                                      [&](const char *a) { return access == QLatin1String(a); });
        if (!access.isEmpty() && it == std::end(kAccess)) {
            return fail(QObject::tr("access 只能是 r、w 或 rw"));
        }
        if (!access.isEmpty())
            r->access = uint8_t(it - std::begin(kAccess));
        return value(&r->value, r->bits());
    }

    void start()
    {
        const QStringRef name = m_walker.name();
        const Kind parent = m_stack.empty() ? Kind::Item : m_stack.back();
        Kind kind = Kind::Item;
        bool ok = true;
        const auto is = [&](const char *n) { return name == QLatin1String(n); };
        if (m_stack.empty() && is("DeviceProfile")) {
            kind = Kind::Root;
            ok = allowed({"id", "name", "datasheet", "revision"}, false);
            m_profile.id = text("id").toStdString();
            m_profile.name = text("name").toStdString();
            m_profile.datasheet = text("datasheet").toStdString();
            m_profile.revision = text("revision").toStdString();
        } else if (parent == Kind::Root && is("Address")) {
            kind = Kind::Address;
            ok = allowed({}, false);
        } else if (parent == Kind::Root && is("Pointer")) {
            kind = Kind::Pointer;
            uint32_t bytes = 1;
            ok = allowed({"bytes", "increment", "size", "page", "writePage"}, false) &&
                 number("bytes", false, 0, 2, &bytes) && flag("increment", &m_profile.increment) &&
                 number("size", false, 1, 0x10000, &m_profile.size) &&
                 number("page", false, 1, 0x10000, &m_profile.page) &&
                 number("writePage", false, 1, 0x10000, &m_profile.writePage);
            m_profile.pointerBytes = int(bytes);
        } else if (parent == Kind::Root && is("Register")) {
            kind = Kind::Register;
            m_profile.registers.emplace_back();
            m_register = &m_profile.registers.back();
            ok = registerAttributes(m_register);
        } else if (parent == Kind::Root && is("Commands")) {
            kind = Kind::Commands;
            uint32_t bytes = 1;
            ok = allowed({"bytes"}, false) && number("bytes", false, 1, 2, &bytes);
            m_profile.commandBytes = int(bytes);
        } else if (parent == Kind::Commands && is("Command")) {
            kind = Kind::Command;
            m_profile.commands.emplace_back();
            ProfileCommand &c = m_profile.commands.back();
            c.name = text("name").toStdString();
            const QString data = text("data");
            ok = allowed({"code", "name", "data"}, false) &&
                 number("code", true, 0, m_profile.commandBytes == 2 ? 0xFFFF : 0xFF, &c.code);
            if (ok && (c.name.empty() || text("code").isEmpty())) {
                ok = fail(QObject::tr("命令要有 code 和 name"));
            } else if (ok && !data.isEmpty() && data != QLatin1String("hex") &&
                       data != QLatin1String("count")) {
                ok = fail(QObject::tr("data 只能是 hex 或 count"));
            }
            c.data = data == QLatin1String("count") ? ProfileCommand::Data::Count
                                                    : ProfileCommand::Data::Hex;
        } else if (parent == Kind::Command && (is("Argument") || is("Response"))) {
            kind = Kind::Register;
            ProfileCommand &c = m_profile.commands.back();
            auto &list = is("Argument") ? c.arguments : c.response;
            list.emplace_back();
            m_register = &list.back();
            ok = registerAttributes(m_register);
        } else if (parent == Kind::Register && (is("Field") || is("Case"))) {
            kind = Kind::Value;
            auto &list = is("Field") ? m_register->fields : m_register->cases;
            list.emplace_back();
            m_value = &list.back();
            if (is("Field"))
                m_value->format = ProfileValue::Format::Unsigned;
            m_value->name = text("name").toStdString();
            ok = allowed({"name"}, true) && value(m_value, m_register->bits());
            if (ok && is("Field") && m_value->name.empty()) {
                ok = fail(QObject::tr("位段没有名称"));
            }
        } else if ((parent == Kind::Register || parent == Kind::Value) && is("Item")) {
            kind = Kind::Item;
            m_itemOwner = parent == Kind::Register ? &m_register->value : m_value;
            m_itemValue = 0;
            ok = allowed({"value"}, false) && number("value", true, 0, 0xFFFFFFFF, &m_itemValue);
            if (ok && text("value").isEmpty()) {
                ok = fail(QObject::tr("<Item> 没有 value"));
            }
        } else {
            ok = fail(QObject::tr("此处不能有 <%1>").arg(name));
        }
        m_text.clear();
        if (ok)
            m_stack.push_back(kind);
    }

    void end()
    {
        if (m_stack.empty())
            return;
        const Kind kind = m_stack.back();
        m_stack.pop_back();
        switch (kind) {
        case Kind::Address:
            address();
            break;
        case Kind::Item:
            m_itemOwner->items.emplace_back(m_itemValue, clean(m_text).toStdString());
            break;
        case Kind::Register:
            checkEnums(*m_register);
            break;
        case Kind::Root:
            finish();
            break;
        default:
            break;
        }
    }

    // "50" or a range "50-57".
    void address()
    {
        const QStringList parts = m_text.trimmed().split(QLatin1Char('-'));
        bool okLow = false, okHigh = true;
        const uint low = parts[0].trimmed().toUInt(&okLow, 16);
        const uint high = parts.size() == 2 ? parts[1].trimmed().toUInt(&okHigh, 16) : low;
        if (parts.size() > 2 || !okLow || !okHigh || high > 0x7F || low > high) {
            fail(
                QObject::tr("地址 \"%1\" 不是 00..7F 之间的 7 位地址或范围").arg(m_text.trimmed()));
            return;
        }
        for (uint a = low; a <= high; ++a)
            if (std::find(m_profile.addresses.begin(), m_profile.addresses.end(), a) ==
                m_profile.addresses.end())
                m_profile.addresses.push_back(uint8_t(a));
    }

    void checkEnums(ProfileRegister &r)
    {
        const auto check = [&](ProfileValue &v) {
            std::sort(v.items.begin(), v.items.end());
            if (v.format == ProfileValue::Format::Enum && v.items.empty())
                fail(QObject::tr("枚举 %1 没有 <Item>").arg(QString::fromStdString(r.name)));
        };
        check(r.value);
        for (ProfileValue &v : r.cases)
            check(v);
        for (ProfileValue &v : r.fields)
            check(v);
    }

    void finish()
    {
        DeviceProfile &p = m_profile;
        const bool idOk = !p.id.empty() && std::all_of(p.id.begin(), p.id.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        });
        std::string why;
        if (!idOk)
            fail(QObject::tr("id 要用小写字母、数字、- 或 _ 写成"));
        else if (p.name.empty())
            fail(QObject::tr("没有 name"));
        else if (p.addresses.empty())
            fail(QObject::tr("没有 <Address>"));
        else if (!p.commands.empty() && !p.registers.empty())
            fail(QObject::tr("寄存器与命令表不能同在一个文件"));
        else if ((p.size && p.size > p.span()) || p.page > p.span() || p.writePage > p.span())
            fail(QObject::tr("size、page 或 writePage 超出指针的范围"));
        else if (std::any_of(p.registers.begin(), p.registers.end(),
                             [&](const ProfileRegister &r) { return r.address >= p.span(); }))
            fail(QObject::tr("有寄存器在指针够不到的地址"));
        else if (!p.index(&why))
            fail(QString::fromStdString(why));
    }

    XmlWalker m_walker;
    DeviceProfile m_profile;
    std::vector<Kind> m_stack;
    ProfileRegister *m_register = nullptr; // the register, argument or response open
    ProfileValue *m_value = nullptr;       // the field or case open
    ProfileValue *m_itemOwner = nullptr;
    uint32_t m_itemValue = 0;
    QString m_text;
};

} // namespace

bool ProfileReader::read(const QString &path, DeviceProfile *profile, QString *errorText)
{
    QFile file;
    if (RegularFile::open(file, path, QIODevice::ReadOnly, errorText) !=
        RegularFile::Status::Opened)
        return false;
    DeviceProfile read;
    if (!ProfileReader::read(&file, &read, errorText))
        return false;
    read.file = path.toStdString();
    *profile = std::move(read);
    return true;
}

bool ProfileReader::read(QIODevice *device, DeviceProfile *profile, QString *errorText)
{
    return Reader(device).read(profile, errorText);
}
