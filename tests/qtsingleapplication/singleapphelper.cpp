// A second start of a program, driven by tst_qtsingleapplication:
//   singleapphelper <id> send <message>  exit 0 when the running one got it
//   singleapphelper <id> probe           exit 10 when another one runs, 11 if not
//   singleapphelper <id> die             become the first one, then vanish
//                                        without cleaning up (like a crash)
#include <qtsingleapplication/qtsingleapplication.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 3)
        return 64;
    const QString id = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode = argv[2];
    const QString message = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    int appArgc = 1;
    QtSingleApplication app(id, appArgc, argv);

    if (mode == "send") {
        if (!app.isRunning())
            return 2;
        return app.sendMessage(message, 10000) ? 0 : 3;
    }
    if (mode == "probe")
        return app.isRunning() ? 10 : 11;
    if (mode == "die") {
        if (app.isRunning())
            return 2;
        std::fflush(nullptr);
        ::_exit(0);
    }
    return 64;
}
