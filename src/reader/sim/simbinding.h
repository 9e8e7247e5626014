#pragma once

#include "reader/sim/simfield.h"
#include "reader/sim/simreaders.h"

#include <QString>
#include <QStringList>

// The simulator: one field and one virtual reader of each family on it.
//
//   TSimulator sim;                         // or TSimulator::Instance() in the program
//   sim.Attach(true, false);                // an RW-Alto reader is plugged in
//   sim.Bind();                             // Mfrc500() / Rivlink() now answer from it
//   sim.Field().PutCard(TSimCard(TSimCard::Type::Classic1K, {0x01, 0x02, 0x03, 0x04}));
//   ... run discovery, the card engine ...
//   sim.Alto().CallLog();                   // what the program called
//   sim.Field().TakeCard();                 // the card as it was left
//
// Both readers are always bound, attached or not: a reader that is not attached is found
// by no enumeration and answers every other call with its "no reader" status.
class TSimulator
{
public:
    TSimulator() : fAlto(fField), fNova(fField) {}
    ~TSimulator();
    TSimulator(const TSimulator &) = delete;
    TSimulator &operator=(const TSimulator &) = delete;

    // The program's simulator, alive for the whole run.
    static TSimulator &Instance();

    TSimField &Field() { return fField; }
    TSimMfrc500 &Alto() { return fAlto; }
    TSimRivlink &Nova() { return fNova; }

    void Attach(bool alto, bool nova);
    // Binds both virtual readers with BindMfrc500 / BindRivlink.
    void Bind();
    // Store files of the virtual readers: base + ".alto" and base + ".nova" (e.g. the
    // database path without its extension); empty base: nothing persists.
    void SetStoreBase(const QString &base);

private:
    TSimField fField;
    TSimMfrc500 fAlto;
    TSimRivlink fNova;
};

// Which virtual readers the command line asks for.
struct TReaderSelection
{
    bool alto = true; // no argument: one RW-Alto reader
    bool nova = false;
    bool help = false; // --help: print ReaderHelpText() and exit
    QString error;     // non-empty: the arguments were not understood
};

// Parses the program's arguments (arguments[0] is the program and is skipped):
// --reader=alto|nova|both|none and --help (or -h). Anything else is an error.
TReaderSelection ParseReaderArgs(const QStringList &arguments);
// The text --help prints (program name given by the caller).
QString ReaderHelpText(const QString &program);
// Attaches the selected virtual readers of TSimulator::Instance(), gives them their
// store files (see TSimulator::SetStoreBase) and binds them.
void BindSimulatedReaders(const TReaderSelection &selection, const QString &storeBase);
