// The two record files, "game_sessions.txt" and "port_history.txt": loading any bytes
// must not crash, what was loaded must survive its own save and a second load, and the
// totals and reports made from it must stay defined.

#include "fuzzsupport.h"

#include "records/porthistory.h"
#include "records/recordexporter.h"
#include "records/sessionmanager.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::inputFile(data, size, FUZZ_RECORD_FILE);
#ifdef FUZZ_SESSIONS
    qsizetype loaded = 0;
    {
        SessionManager sessions(path);
        loaded = sessions.sessions().size();
        sessions.totalPlayTime();
        sessions.averagePingAllSessions();
        sessions.bestSessionId();
        RecordExporter::sessionsCsv(sessions.sessions());
        RecordExporter::sessionsHtml(sessions.sessions(), QDateTime::currentDateTime());
        Fuzz::require(sessions.saveSessions());
    }
    Fuzz::require(SessionManager(path).sessions().size() == loaded);
#else
    QList<PortSession> loaded;
    {
        PortHistory history(path);
        loaded = history.sessions();
        RecordExporter::historyCsv(history.getAllSessions());
        RecordExporter::historyHtml(
            history.getAllSessions(), history.getUniquePorts().size(), {}, QDateTime::currentDateTime());
        Fuzz::require(history.saveHistory());
    }
    Fuzz::require(PortHistory(path).sessions().size() == loaded.size());
#endif
    return 0;
}
