// The capture file's lock: held by one object at a time, taken over only when no running process
// holds it, and never when something else is in its place or it cannot be written.
#include "capture/capturefilelock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Status = CaptureFileLock::Status;

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

const QByteArray kOurPid = QByteArray::number(QCoreApplication::applicationPid());

} // namespace

TEST(CaptureFileLock, OneHolderStaleLocksTakenOverAndWhatIsNoLockRefused)
{
    QTemporaryDir dir;
    const QString capture = dir.filePath("I2CDataTemp.dat"), lockFile = capture + ".lock";
    {
        CaptureFileLock first(capture), second(capture);
        EXPECT_EQ(first.status(), Status::Unlocked);
        ASSERT_TRUE(first.tryLock());
        EXPECT_TRUE(bytesOf(lockFile).startsWith(kOurPid + '\n'));
        EXPECT_TRUE(!second.tryLock() && second.status() == Status::HeldByOther);
        EXPECT_EQ(second.holderPid(), QCoreApplication::applicationPid());
        EXPECT_TRUE(second.message().contains("（进程 " + kOurPid + "）") &&
                    first.message().isEmpty());
        // A live holder whose file says nothing readable is still a holder.
        ASSERT_TRUE(put(lockFile, "garbage"));
        EXPECT_FALSE(second.tryLock());
        EXPECT_EQ(second.holderPid(), 0);
        EXPECT_TRUE(second.message().contains("没有进程号") &&
                    !second.message().contains("进程 0"));
        first.unlock();
        EXPECT_FALSE(QFile::exists(lockFile));
        EXPECT_TRUE(second.tryLock());
        // A lock file put in our lock's place is not ours to remove.
        ASSERT_TRUE(QFile::remove(lockFile) && put(lockFile, "other"));
    }
    EXPECT_EQ(bytesOf(lockFile), "other"); // and nothing else is left
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System),
              QStringList{"I2CDataTemp.dat.lock"});
    // Held by no running process: dead, a number a running process got again, empty, not a number.
    const std::pair<QByteArray, QByteArray> stale[] = {
        {"4194303\nx\nhost\n", "进程 4194303 已不在运行"},
        {kOurPid + '\n', "进程 " + kOurPid + " 没有持有它"},
        {"", "锁文件是空的"},
        {"-5\nx\n", "不是进程号"},
        {"\x01\xff garbage", "不是进程号"},
    };
    for (const auto &[content, said] : stale) {
        ASSERT_TRUE(put(lockFile, content));
        CaptureFileLock lock(capture);
        EXPECT_TRUE(lock.tryLock()) << lock.message().toStdString();
        EXPECT_TRUE(lock.takenOver().endsWith(QString::fromUtf8(said))) << said.data();
        EXPECT_TRUE(bytesOf(lockFile).startsWith(kOurPid + '\n'));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList());

    // What is no lock is refused, and an unwritable lock says why.
    const QString precious = dir.filePath("precious");
    const QByteArray path = QFile::encodeName(lockFile);
    ASSERT_TRUE(put(precious, "keep"));
    // In the lock's place: a directory, a FIFO, links to a file and to a device.
    const std::pair<std::function<bool()>, const char *> placed[] = {
        {[&] { return ::mkdir(path, 0700) == 0; }, "目录"},
        {[&] { return ::rmdir(path) == 0 && ::mkfifo(path, 0600) == 0; }, "命名管道"},
        {[&] { return QFile::remove(lockFile) && QFile::link(precious, lockFile); }, "符号链接"},
        {[&] { return QFile::remove(lockFile) && QFile::link("/dev/null", lockFile); },
         "符号链接"}};
    for (const auto &[place, said] : placed) {
        CaptureFileLock lock(capture);
        EXPECT_TRUE(place() && !lock.tryLock() && lock.status() == Status::BadLockFile) << said;
        EXPECT_TRUE(lock.message().contains(lockFile) &&
                    lock.message().contains(QString::fromUtf8(said)))
            << lock.message().toStdString();
    }
    EXPECT_EQ(bytesOf(precious), "keep");
    // The folder cannot hold files (a file is in its place), or the disk is full (a file size
    // limit, SIGXFSZ ignored): nothing is held or left.
    CaptureFileLock noFolder(precious + "/I2CDataTemp.dat");
    EXPECT_TRUE(!noFolder.tryLock() && noFolder.status() == Status::CannotWrite);
    EXPECT_EQ(noFolder.errorString(), QString::fromLocal8Bit(strerror(ENOTDIR)));
    EXPECT_TRUE(noFolder.message().contains("不会捕获数据"));
    QFile::remove(lockFile);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto restore = qScopeGuard([limit] { setrlimit(RLIMIT_FSIZE, &limit); });
    const rlimit tiny{3, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    CaptureFileLock full(capture);
    EXPECT_TRUE(!full.tryLock() && full.status() == Status::CannotWrite);
    EXPECT_EQ(full.errorString(), QString::fromLocal8Bit(strerror(EFBIG)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList{"precious"});
}
