#include "playerenvironment.h"

#include "accessibilitybus.h"
#include "companionsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char childMarker[] = "VELLORA_PLAYER_PRIVATE_BUS";
const char sandboxVariable[] = "VELLORA_PLAYER_SANDBOX";

volatile pid_t runningChild = 0;
// A signal that came before the child did, passed on once it is there.
volatile sig_atomic_t pendingSignal = 0;

// The child shares this process's group, and so the terminal with it: a
// child in a group of its own was stopped by its first write under "stty
// tostop", with this process waiting for it for ever. A signal from the
// terminal reaches both; one sent to this process alone is passed on.
void forwardTermination(int)
{
    if (runningChild > 0)
        kill(runningChild, SIGTERM);
    else
        pendingSignal = SIGTERM;
}

// Started with its parent's death as its own: SIGKILL of the parent, which
// no handler sees, still ends it.
void endWithParent(pid_t parent)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(1);
}

void writePid(int fd, pid_t pid)
{
    while (write(fd, &pid, sizeof pid) < 0 && errno == EINTR) { }
}

// A process of its own that outlives this one only to clean up after it:
// once this process is gone without saying it is done (SIGKILL, or a
// signal from the terminal that the child and the bus took too), it ends
// the processes whose ids it was sent and removes the folders.
int startGuard(const QList<QByteArray> &folders)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t guard = fork();
    if (guard < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (guard > 0) {
        close(fds[0]);
        return fds[1];
    }
    close(fds[1]);
    for (const int signalNumber : { SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP })
        std::signal(signalNumber, SIG_IGN);
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2 && null >= 0; ++fd)
        dup2(null, fd);
    std::vector<pid_t> pids;
    pid_t pid = 0;
    ssize_t got;
    while ((got = read(fds[0], &pid, sizeof pid)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got != sizeof pid)
            break;
        if (pid == 0)
            _exit(0);
        pids.push_back(pid);
    }
    for (const pid_t process : pids)
        kill(process, SIGTERM);
    for (const QByteArray &folder : folders) {
        if (!folder.isEmpty())
            QDir(QString::fromLocal8Bit(folder)).removeRecursively();
    }
    _exit(0);
}

// A session bus daemon of our own, ended with this process; its address
// is read within 5 s. dbus-run-session would leave the daemon running when
// it is killed itself.
pid_t startBus(QByteArray *address)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t parent = getpid();
    const pid_t bus = fork();
    if (bus == 0) {
        endWithParent(parent);
        // Only the write end crosses into the daemon.
        const int out = dup(fds[1]);
        const QByteArray printAddress = "--print-address=" + QByteArray::number(out);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", printAddress.constData(),
               static_cast<char *>(nullptr));
        std::perror("vellora-player: dbus-daemon");
        _exit(127);
    }
    close(fds[1]);
    if (bus < 0) {
        close(fds[0]);
        return -1;
    }
    QByteArray line;
    char c = 0;
    pollfd waiting { fds[0], POLLIN, 0 };
    while (line.size() < 4096 && poll(&waiting, 1, 5000) > 0 && read(fds[0], &c, 1) == 1
           && c != '\n')
        line += c;
    close(fds[0]);
    if (c != '\n' || line.isEmpty()) {
        std::fputs("vellora-player: the private session bus did not start\n", stderr);
        kill(bus, SIGTERM);
        waitpid(bus, nullptr, 0);
        return -1;
    }
    *address = line;
    return bus;
}

int exitStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

void setVariable(const char *name, const QByteArray &value)
{
    qputenv(name, value);
}

// A private folder in the temporary folder: empty on failure, which is said.
QByteArray makeTemporaryFolder(const char *name)
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + '/' + name + ".XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("vellora-player: temporary folder");
        return QByteArray();
    }
    return pattern;
}

// The window system's addresses that hang on the caller's home and runtime
// folder, named outright before those change: the Wayland socket is found in
// the runtime folder, and X's cookie in the home.
void keepDisplayReachable()
{
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!wayland.isEmpty() && !wayland.startsWith('/') && !runtime.isEmpty())
        setVariable("WAYLAND_DISPLAY", runtime + '/' + wayland);
    const QByteArray cookie = qgetenv("HOME") + "/.Xauthority";
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("XAUTHORITY")
        && !qEnvironmentVariableIsEmpty("HOME") && QFileInfo::exists(QString::fromLocal8Bit(cookie)))
        setVariable("XAUTHORITY", cookie);
}

void pointHomeAt(const QByteArray &home)
{
    setVariable("HOME", home);
    setVariable("XDG_CONFIG_HOME", home + "/.config");
    setVariable("XDG_CACHE_HOME", home + "/.cache");
    setVariable("XDG_DATA_HOME", home + "/.local/share");
}

} // namespace

PlayerEnvironment::PlayerEnvironment(int argc, char **argv)
{
    for (int i = 0; i < argc; ++i)
        m_arguments.append(QByteArray(argv[i]));
}

QStringList PlayerEnvironment::arguments() const
{
    QStringList arguments;
    for (const QByteArray &argument : m_arguments)
        arguments.append(QString::fromLocal8Bit(argument));
    return arguments;
}

PlayerEnvironment::~PlayerEnvironment()
{
    // Only the process that made the folders removes them, after its child.
    if (qEnvironmentVariableIsSet(childMarker))
        return;
    for (const QByteArray &folder : { m_sandbox, m_runtimeFolder }) {
        if (!folder.isEmpty())
            QDir(QString::fromLocal8Bit(folder)).removeRecursively();
    }
}

bool PlayerEnvironment::isSandboxed() const
{
    return qEnvironmentVariableIsSet(sandboxVariable);
}

QByteArray PlayerEnvironment::sessionBusAddress()
{
    const QByteArray given = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!given.isEmpty())
        return given;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray socket = runtime + "/bus";
    if (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(socket)))
        return QByteArray();
    return "unix:path=" + socket;
}

bool PlayerEnvironment::findSessionBus()
{
    const QByteArray address = sessionBusAddress();
    if (address.isEmpty())
        return false;
    setVariable("DBUS_SESSION_BUS_ADDRESS", address);
    return true;
}

bool PlayerEnvironment::makeRuntimeFolder()
{
    m_runtimeFolder = makeTemporaryFolder("vellora-player-runtime");
    if (m_runtimeFolder.isEmpty())
        return false;
    setVariable("XDG_RUNTIME_DIR", m_runtimeFolder);
    return true;
}

bool PlayerEnvironment::makeSandbox()
{
    m_sandbox = makeTemporaryFolder("vellora-player");
    if (m_sandbox.isEmpty())
        return false;
    const QByteArray home = m_sandbox + "/home";
    const QByteArray runtime = m_sandbox + "/runtime";
    QDir().mkpath(QString::fromLocal8Bit(home + "/.config"));
    QDir().mkpath(QString::fromLocal8Bit(runtime));
    QFile::setPermissions(QString::fromLocal8Bit(runtime),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    pointHomeAt(home);
    setVariable("XDG_RUNTIME_DIR", runtime);
    setVariable(sandboxVariable, m_sandbox);
    // The embedded store is on 127.0.0.1; a proxy of the user's must not
    // stand between.
    for (const char *name :
         { "http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY" })
        qunsetenv(name);
    return true;
}

int PlayerEnvironment::isolate(const QString &home, bool keepsSessionBus)
{
    if (qEnvironmentVariableIsSet(childMarker))
        return -1;

    // Found before a sandbox points the runtime folder elsewhere.
    m_userBus = sessionBusAddress();
    keepDisplayReachable();
    if (home.isEmpty()) {
        setVariable(CallerCacheVariable,
                    QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                            .toLocal8Bit());
        setVariable(CompanionSettings::CallerConfigVariable,
                    QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                            .toLocal8Bit());
        if (!makeSandbox())
            return 1;
    } else {
        pointHomeAt(QFileInfo(home).absoluteFilePath().toLocal8Bit());
        // Qt warns about a missing runtime folder; the bus would want one too.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && !makeRuntimeFolder())
            return 1;
    }

    const bool hasSessionBus = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    // A runtime folder made here is removed by this process once its child
    // has ended, however the run was ended.
    if (!isSandboxed() && hasSessionBus && m_runtimeFolder.isEmpty())
        return -1;
    // A named home keeps the caller's bus; a throw-away one keeps it only when asked to.
    return runInChild(!(hasSessionBus && (keepsSessionBus || !isSandboxed())));
}

int PlayerEnvironment::runInChild(bool privateBus)
{
    setVariable(childMarker, "1");
    if (privateBus) {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        // The private bus hides the user's accessibility bus: the player
        // finds it through these and hands its address on.
        if (!m_userBus.isEmpty())
            setVariable(AccessibilityBus::UserBusVariable, m_userBus);
        const QByteArray given = qgetenv("AT_SPI_BUS_ADDRESS");
        if (!given.isEmpty()) {
            setVariable(AccessibilityBus::GivenAddressVariable, given);
            qunsetenv("AT_SPI_BUS_ADDRESS");
        }
    }

    std::vector<char *> argv;
    QByteArray self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toLocal8Bit();
    if (self.isEmpty())
        self = m_arguments.constFirst();
    argv.push_back(self.data());
    for (int i = 1; i < m_arguments.size(); ++i)
        argv.push_back(m_arguments[i].data());
    argv.push_back(nullptr);

    // A caller that ignores SIGCHLD would hand that on: the kernel would
    // reap the child unasked, and this process could not wait for it.
    std::signal(SIGCHLD, SIG_DFL);
    // This process stays to clean up, and passes Ctrl-C, Ctrl-\\, a
    // termination or a hang-up on to the child, also one that comes while
    // the child is being started.
    for (const int signalNumber : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
        std::signal(signalNumber, forwardTermination);
    const int guard = startGuard({ m_sandbox, m_runtimeFolder });
    if (guard < 0) {
        std::perror("vellora-player: fork");
        return 1;
    }
    const auto done = [guard](int status) {
        writePid(guard, 0);
        close(guard);
        return status;
    };
    pid_t bus = 0;
    if (privateBus) {
        QByteArray address;
        bus = startBus(&address);
        if (bus < 0)
            return done(1);
        writePid(guard, bus);
        setVariable("DBUS_SESSION_BUS_ADDRESS", address);
    }

    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("vellora-player: fork");
        return done(1);
    }
    if (child == 0) {
        endWithParent(parent);
        for (const int signalNumber : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
            std::signal(signalNumber, SIG_DFL);
        execv(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    writePid(guard, child);
    runningChild = child;
    if (pendingSignal)
        kill(child, pendingSignal);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return done(1);
    }
    runningChild = 0;
    if (bus > 0) {
        kill(bus, SIGTERM);
        while (waitpid(bus, nullptr, 0) < 0 && errno == EINTR) { }
    }
    qunsetenv(childMarker);
    return done(exitStatus(status));
}
