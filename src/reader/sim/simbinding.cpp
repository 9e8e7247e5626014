#include "reader/sim/simbinding.h"

TSimulator::~TSimulator()
{
    // Never leave a dangling binding behind.
    if (Mfrc500() == &fAlto)
        BindMfrc500(nullptr);
    if (Rivlink() == &fNova)
        BindRivlink(nullptr);
}

TSimulator &TSimulator::Instance()
{
    static TSimulator simulator;
    return simulator;
}

void TSimulator::Attach(bool alto, bool nova)
{
    fAlto.SetAttached(alto);
    fNova.SetAttached(nova);
}

void TSimulator::Bind()
{
    BindMfrc500(&fAlto);
    BindRivlink(&fNova);
}

void TSimulator::SetStoreBase(const QString &base)
{
    fAlto.SetStoreFile(base.isEmpty() ? QString() : base + QStringLiteral(".alto"));
    fNova.SetStoreFile(base.isEmpty() ? QString() : base + QStringLiteral(".nova"));
}

TReaderSelection ParseReaderArgs(const QStringList &arguments)
{
    TReaderSelection selection;
    const QString prefix = QStringLiteral("--reader=");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            selection.help = true;
        } else if (arg.startsWith(prefix)) {
            const QString value = arg.mid(prefix.size());
            if (value == QLatin1String("alto")) {
                selection.alto = true;
                selection.nova = false;
            } else if (value == QLatin1String("nova")) {
                selection.alto = false;
                selection.nova = true;
            } else if (value == QLatin1String("both")) {
                selection.alto = selection.nova = true;
            } else if (value == QLatin1String("none")) {
                selection.alto = selection.nova = false;
            } else {
                selection.error =
                    QStringLiteral("unknown reader \"%1\" (alto, nova, both or none)").arg(value);
            }
        } else {
            selection.error = QStringLiteral("unknown argument \"%1\"").arg(arg);
        }
    }
    return selection;
}

QString ReaderHelpText(const QString &program)
{
    return QStringLiteral("Usage: %1 [--reader=alto|nova|both|none]\n"
                          "\n"
                          "Prepares MIFARE Classic cards. The card readers are simulated: virtual\n"
                          "readers on one virtual field, on which cards are put and taken off.\n"
                          "\n"
                          "  --reader=alto   one virtual RW-Alto reader (the default)\n"
                          "  --reader=nova   one virtual RW-Nova reader\n"
                          "  --reader=both   both; the RW-Alto reader is the one opened\n"
                          "  --reader=none   no reader\n"
                          "  --help          show this text\n"
                          "\n"
                          "A virtual reader keeps its programming in a file beside the database\n"
                          "(extension .alto or .nova).\n")
        .arg(program);
}

void BindSimulatedReaders(const TReaderSelection &selection, const QString &storeBase)
{
    TSimulator &sim = TSimulator::Instance();
    sim.SetStoreBase(storeBase);
    sim.Attach(selection.alto, selection.nova);
    sim.Bind();
}
