// The updater's parsers: a release listing as the helper turns it into protocol lines,
// those lines as the updater reads them back, and raw check and download output. The
// harness looks for crashes and undefined behaviour; which line wins is the protocol tests'
// business.

#include "fuzzsupport.h"

#include "updater/updaterhelper.h"
#include "updater/updaterprotocol.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Text of a listing reaches the protocol lines unchecked; the updater checks the version
    // and the address it reads back before it uses them (isSafeVersion, isAcceptableDownloadUrl).
    int exitCode = -1;
    const QString lines = UpdaterHelper::checkOutputForListing(bytes, &exitCode);
    const UpdaterProtocol::CheckOutput check = UpdaterProtocol::parseCheckOutput(lines.trimmed());
    UpdaterProtocol::isSafeVersion(check.version);
    UpdaterProtocol::isAcceptableDownloadUrl(check.url);
    UpdaterProtocol::truncateChangelog(check.changelog);
    const QString text = QString::fromUtf8(bytes);
    UpdaterProtocol::parseCheckOutput(text.trimmed());
    UpdaterProtocol::checkFailureMessage(text);
    for (const QString &line : text.split(QLatin1Char('\n')))
        UpdaterProtocol::parseDownloadLine(line.trimmed());
    return 0;
}
