#include "updater/programcheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

namespace ProgramCheck {

namespace {

// Enough for the ELF header and for a PE header that follows a normal DOS stub.
constexpr qint64 kHeadSize = 4096;

quint16 u16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

QString describe(const QByteArray &head)
{
    const QByteArray start = head.left(16).trimmed().toLower();
    if (start.startsWith("#!"))
        return QStringLiteral("a script");
    if (start.startsWith("<!doctype") || start.startsWith("<html") || start.startsWith("<?xml"))
        return QStringLiteral("an HTML or XML page");
    return QStringLiteral("unknown data");
}

} // namespace

QString elfProblem(const QByteArray &head, quint16 machine)
{
    if (!head.startsWith("\x7f"
                         "ELF"))
        return QStringLiteral("not an ELF file but ") + describe(head);
    if (head.size() < 64)
        return QStringLiteral("truncated ELF header");
    if (head.at(4) != 2 || head.at(5) != 1)
        return QStringLiteral("not a 64-bit little-endian ELF file");
    const quint16 type = u16(head, 16);
    if (type != 2 && type != 3) // ET_EXEC, ET_DYN (position-independent programs)
        return QStringLiteral("ELF file of type %1, not a program").arg(type);
    const quint16 fileMachine = u16(head, 18);
    if (fileMachine != machine)
        return QStringLiteral("ELF program for machine %1, this system is %2").arg(fileMachine).arg(machine);
    return QString();
}

QString peProblem(const QByteArray &head, quint16 machine)
{
    if (!head.startsWith("MZ"))
        return QStringLiteral("no MZ signature: ") + describe(head);
    if (head.size() < 0x40)
        return QStringLiteral("truncated DOS header");
    const quint32 peOffset = u32(head, 0x3C);
    if (peOffset > quint32(head.size()) - 24 || head.mid(int(peOffset), 4) != QByteArray("PE\0\0", 4))
        return QStringLiteral("no PE header");
    const quint16 fileMachine = u16(head, int(peOffset) + 4);
    if (fileMachine != machine)
        return QStringLiteral("PE program for machine 0x%1, this system is 0x%2")
            .arg(fileMachine, 0, 16)
            .arg(machine, 0, 16);
    const quint16 characteristics = u16(head, int(peOffset) + 22);
    if (!(characteristics & 0x0002) || (characteristics & 0x2000)) // EXECUTABLE_IMAGE, DLL
        return QStringLiteral("PE file is not a program");
    return QString();
}

QString formatProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read: ") + file.errorString();
    const QByteArray head = file.read(kHeadSize);
#if defined(Q_OS_WIN)
#if defined(Q_PROCESSOR_ARM_64)
    return peProblem(head, kPeArm64);
#else
    return peProblem(head, kPeAmd64);
#endif
#elif defined(Q_PROCESSOR_X86_64)
    return elfProblem(head, kElfX86_64);
#elif defined(Q_PROCESSOR_ARM_64)
    return elfProblem(head, kElfAarch64);
#else
#error "Name this system's program format for the updater"
#endif
}

QString sha256Digest(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QStringLiteral("sha256:") + QString::fromLatin1(hash.result().toHex());
}

} // namespace ProgramCheck
