#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

// Writes record files on one background thread, so a rewrite of a large file never
// holds up the GUI thread. Each write replaces the whole file atomically (temporary
// file, then rename). Writes of one file happen in the order they were asked for; a
// write that has not started yet is replaced by a newer one for the same file, since
// only the newest content matters.
class RecordWriter final
{
public:
    // Told on the writing thread whether the content reached the disk.
    using Report = std::function<void(bool ok)>;

    static RecordWriter &instance();
    // The stores' report: "<tag> Сохранено сессий: N", or that the file could not be written.
    static Report logReport(const char *tag, const QString &path, qsizetype count);

    RecordWriter() = default;
    ~RecordWriter();
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    void schedule(const QString &path, QByteArray data, Report report = {});
    // Writes on the calling thread, after any write of path already under way, in place
    // of one still waiting; returns whether it reached the disk.
    bool writeNow(const QString &path, const QByteArray &data);
    // Returns once every write asked for path so far is done.
    void flush(const QString &path);
    // Returns once every write asked for so far is done.
    void flushAll();

private:
    struct Job
    {
        QByteArray data;
        Report report;
    };

    void run();
    void waitWhile(std::unique_lock<std::mutex> &lock, const std::function<bool()> &busy);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::map<QString, Job> m_pending;
    std::deque<QString> m_order;
    std::set<QString> m_writing;
    std::thread m_thread;
    bool m_stop = false;
};
