#include "fulldisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <iostream>

namespace testsupport {
namespace {

const char *childVariable = "ROUTEREEL_FULLDISK_CHILD";
constexpr int childTimeoutMs = 120000;

// A private mount namespace needs root and a working unshare(1); ROUTEREEL_FULLDISK=injected
// asks for the interposer anyway (to test that road).
QString whyNoMountNamespace()
{
    if (qgetenv("ROUTEREEL_FULLDISK") == "injected")
        return QStringLiteral("ROUTEREEL_FULLDISK=injected");
    if (geteuid() != 0)
        return QStringLiteral("not root, cannot mount");
    static const QString answer = [] {
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty())
            return QStringLiteral("no unshare program");
        QProcess probe;
        probe.start(unshare, {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
                              QStringLiteral("true")});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
            probe.kill();
            probe.waitForFinished(1000);
            return QStringLiteral("unshare --mount failed: ") + QString::fromLocal8Bit(probe.readAllStandardError());
        }
        return QString();
    }();
    return answer;
}

using Configure = void (*)(const char *, long long);
using Free = long long (*)();

template <typename F>
F interposer(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

} // namespace

bool FullDisk::isInjected()
{
    return qgetenv(childVariable) == "injected";
}

bool FullDisk::runTestInChild()
{
    if (!qEnvironmentVariableIsEmpty(childVariable))
        return false;
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter = QStringLiteral("--gtest_filter=%1.%2")
                               .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name()));
    const QString self = QCoreApplication::applicationFilePath();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess child;
    const QString why = whyNoMountNamespace();
    if (why.isEmpty()) {
        environment.insert(QString::fromLatin1(childVariable), QStringLiteral("tmpfs"));
        child.setProgram(QStandardPaths::findExecutable(QStringLiteral("unshare")));
        child.setArguments({QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
                            self, filter});
    } else {
        std::cout << "[ full disk ] no tmpfs of the test's own (" << why.toStdString()
                  << "): writes fail through an interposer instead" << std::endl;
        environment.insert(QString::fromLatin1(childVariable), QStringLiteral("injected"));
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ROUTEREEL_FULLWRITE_INTERPOSER));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
        child.setProgram(self);
        child.setArguments({filter});
    }
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start();
    const bool finished = child.waitForFinished(childTimeoutMs);
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    const QByteArray output = child.readAll();
    std::cout << output.toStdString() << std::flush;
    EXPECT_TRUE(finished) << "the test's child process did not end within " << childTimeoutMs / 1000 << " s";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    // A filter that matched nothing passes too: the child must have run this very test.
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << "the child did not run " << filter.toStdString();
    return true;
}

FullDisk::FullDisk(qint64 capacity)
    : m_dir(QDir::tempPath() + QStringLiteral("/routereel-fulldisk-XXXXXX"))
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no folder for the disk: ") + m_dir.errorString();
        return;
    }
    const QByteArray root = QFile::encodeName(QFileInfo(m_dir.path()).canonicalFilePath());
    if (isInjected()) {
        const auto configure = interposer<Configure>("routereel_fullwrite_configure");
        if (!configure)
            m_error = QStringLiteral("the write interposer is not loaded");
        else
            configure(root.constData(), -1);
        return;
    }
    if (qgetenv(childVariable) != "tmpfs") {
        m_error = QStringLiteral("FullDisk outside a test that began with FullDisk::runTestInChild()");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(capacity) + ",mode=0700";
    if (::mount("tmpfs", root.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
        m_error = QStringLiteral("mount -t tmpfs failed: ") + qt_error_string(errno);
        return;
    }
    m_mounted = true;
}

FullDisk::~FullDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    else if (isInjected())
        if (const auto configure = interposer<Configure>("routereel_fullwrite_configure"))
            configure("", -1);
}

qint64 FullDisk::freeBytes() const
{
    if (!m_mounted) {
        const auto free = interposer<Free>("routereel_fullwrite_free");
        return free ? free() : -1;
    }
    struct statvfs s;
    if (::statvfs(QFile::encodeName(m_dir.path()).constData(), &s) != 0)
        return -1;
    return qint64(s.f_bavail) * qint64(s.f_frsize);
}

bool FullDisk::leaveFree(qint64 bytes)
{
    if (!isReady())
        return false;
    if (!m_mounted) {
        const QByteArray root = QFile::encodeName(QFileInfo(m_dir.path()).canonicalFilePath());
        interposer<Configure>("routereel_fullwrite_configure")(root.constData(), bytes);
        return true;
    }
    const QByteArray filler = QFile::encodeName(m_dir.path() + QStringLiteral("/.filler"));
    ::unlink(filler.constData());
    struct statvfs s;
    if (::statvfs(QFile::encodeName(m_dir.path()).constData(), &s) != 0)
        return false;
    const qint64 block = qint64(s.f_frsize);
    const qint64 free = qint64(s.f_bavail) * block;
    if (free <= bytes)
        return true;
    const qint64 fill = (free - bytes + block - 1) / block * block;
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray chunk(64 * 1024, 'f');
    qint64 written = 0;
    while (written < fill) {
        const ssize_t n = ::write(fd, chunk.constData(), size_t(std::min<qint64>(chunk.size(), fill - written)));
        if (n <= 0)
            break;
        written += n;
    }
    ::close(fd);
    return written == fill && freeBytes() <= bytes;
}

} // namespace testsupport
