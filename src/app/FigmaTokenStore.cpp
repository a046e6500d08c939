#include "app/FigmaTokenStore.h"

#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

#include <memory>

namespace vantrel {

const QString FigmaTokenStore::kService = QStringLiteral("com.halvenro.Vantrel");
const QString FigmaTokenStore::kAccount = QStringLiteral("figma-token");

namespace {

struct JobDeleter {
    void operator()(QKeychain::Job *job) const { job->deleteLater(); }
};

template<typename JobType>
std::unique_ptr<JobType, JobDeleter> makeJob()
{
    std::unique_ptr<JobType, JobDeleter> job(new JobType(FigmaTokenStore::kService));
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(FigmaTokenStore::kAccount);
    return job;
}

// Starts the job and waits for it; false when it failed or did not finish in time.
QCoro::Task<bool> run(QKeychain::Job *job)
{
    // Without a secret service the job may finish inside start() already.
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, job, [&finished] { finished = true; });
    job->start();
    if (!finished)
        finished = (co_await qCoro(job, &QKeychain::Job::finished, FigmaTokenStore::kTimeout)).has_value();
    co_return finished && job->error() == QKeychain::NoError;
}

} // namespace

QCoro::Task<QString> FigmaTokenStore::readToken()
{
    auto job = makeJob<QKeychain::ReadPasswordJob>();
    if (!co_await run(job.get()))
        co_return QString();
    co_return job->textData();
}

QCoro::Task<bool> FigmaTokenStore::saveToken(QString token)
{
    if (token.isEmpty()) {
        auto job = makeJob<QKeychain::DeletePasswordJob>();
        const bool deleted = co_await run(job.get());
        co_return deleted || job->error() == QKeychain::EntryNotFound;
    }
    auto job = makeJob<QKeychain::WritePasswordJob>();
    job->setTextData(token);
    co_return co_await run(job.get());
}

} // namespace vantrel
