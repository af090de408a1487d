#include "records/recordwriter.h"

#include "records/recordfile.h"

#include <QDebug>

#include <algorithm>

RecordWriter &RecordWriter::instance()
{
    static RecordWriter writer;
    return writer;
}

RecordWriter::Report RecordWriter::logReport(const char *tag, const QString &path, qsizetype count)
{
    return [tag, path, count](bool ok) {
        if (ok)
            qDebug() << tag << "Сохранено сессий:" << count;
        else
            qWarning() << tag << "Не удалось открыть файл для записи:" << path;
    };
}

RecordWriter::~RecordWriter()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        waitWhile(lock, [this] { return !m_pending.empty() || !m_writing.empty(); });
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void RecordWriter::schedule(const QString &path, QByteArray data, Report report)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
        if (m_pending.insert_or_assign(path, Job {std::move(data), std::move(report)}).second)
            m_order.push_back(path);
    }
    m_wake.notify_one();
}

bool RecordWriter::writeNow(const QString &path, const QByteArray &data)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_pending.erase(path) != 0)
        m_order.erase(std::find(m_order.begin(), m_order.end(), path));
    waitWhile(lock, [&] { return m_writing.count(path) != 0; });
    // Marked as under way, so a flush of path waits for this write too.
    m_writing.insert(path);
    lock.unlock();
    const bool ok = RecordFile::writeAtomically(path, data);
    lock.lock();
    m_writing.erase(path);
    m_done.notify_all();
    m_wake.notify_one();
    return ok;
}

void RecordWriter::flush(const QString &path)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    waitWhile(lock, [&] { return m_pending.count(path) != 0 || m_writing.count(path) != 0; });
}

void RecordWriter::flushAll()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    waitWhile(lock, [this] { return !m_pending.empty() || !m_writing.empty(); });
}

void RecordWriter::waitWhile(std::unique_lock<std::mutex> &lock, const std::function<bool()> &busy)
{
    m_done.wait(lock, [&] { return !busy(); });
}

void RecordWriter::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
        // A path whose previous write is still under way (on another thread, through
        // writeNow) waits for it, so writes of one file never overlap.
        const auto ready = [this] {
            return std::find_if(m_order.begin(), m_order.end(),
                [this](const QString &path) { return m_writing.count(path) == 0; });
        };
        m_wake.wait(lock, [&] { return m_stop || ready() != m_order.end(); });
        if (m_stop)
            return;
        const auto next = ready();
        const QString path = *next;
        m_order.erase(next);
        auto node = m_pending.extract(path);
        m_writing.insert(path);
        lock.unlock();

        Job &job = node.mapped();
        const bool ok = RecordFile::writeAtomically(path, job.data);
        if (job.report)
            job.report(ok);
        job = Job();

        lock.lock();
        m_writing.erase(path);
        m_done.notify_all();
    }
}
