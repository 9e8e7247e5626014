#pragma once

// The virtual reader window "Виртуальный считыватель": the operator's hand on the
// simulated reader's field. Each simulated card is kept as a raw dump (.mfd) in the cards
// folder beside the database, named after its UID (A1B2C3D4.mfd, 04A1B2C3D4E5F6.mfd).
// The window creates blank cards, lists the files, puts a card on the reader and takes it
// off, shows a card's blocks with its trailers decoded, and deletes card files.
//
// Whenever the memory of the card in the field changes (the worker wrote it), the card's
// file is rewritten at once through a temporary file and a rename, so the file is never
// half written nor behind the card.
//
// The window is a top-level window of its own (no parent): the card dialogs are modal to
// the main window only, so this window stays usable while they are open.

#include "reader/sim/simcard.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TSimField;

namespace VirtualReader {

// The card file's name for a UID: its bytes in upper-case hex and ".mfd".
QString CardFileName(const std::vector<uint8_t> &uid);
// The UID a card file's name stands for; nullopt when the name is not 8 or 14 hex digits
// followed by ".mfd".
std::optional<std::vector<uint8_t>> UidFromFileName(const QString &fileName);
// A UID typed by the operator: hex digits, blanks ignored; it must have exactly
// uidLength (4 or 7) bytes and not start with the cascade tag 0x88 (the tag a reader's
// anticollision reserves). nullopt otherwise.
std::optional<std::vector<uint8_t>> ParseUid(const QString &text, int uidLength);
// A random UID of 4 or 7 bytes that a real card could carry (no cascade tag where the
// reader expects UID bytes, not all zero).
std::vector<uint8_t> RandomUid(int uidLength);

// Bytes as upper-case hex pairs separated by blanks ("FF 07 80").
QString HexBytes(const uint8_t *data, int length);

// The access conditions of one sector trailer in words: the keys, then one line per data
// block group and one for the trailer itself. firstBlock and blocksInSector give the
// block numbers the lines name (4 or 16 blocks).
QStringList DescribeTrailer(const uint8_t *trailer16, int firstBlock, int blocksInSector);
// The access conditions C1 C2 C3 of data group 0..2 or of the trailer (3) as a number
// C1<<2|C2<<1|C3; nullopt when the access bytes disagree with their complements.
std::optional<int> AccessCondition(const uint8_t *trailer16, int group);
// The words for a data block condition and for a trailer condition.
QString DescribeDataCondition(int bits);
QString DescribeTrailerCondition(int bits);

// A whole card: every sector's blocks in hex with its trailer decoded.
QString DescribeCard(const TSimCard &card);

// The cards folder beside a database file: "tagor.cards" in the database's folder.
QString CardsFolderFor(const QString &databasePath);

} // namespace VirtualReader

class TfrmVirtualReader : public QWidget
{
    Q_OBJECT

public:
    // field: the simulated readers' field; cardsDir: the folder of card files (created when
    // missing). The window installs the field's change hook for as long as it lives.
    TfrmVirtualReader(TSimField &field, const QString &cardsDir, QWidget *parent = nullptr);
    ~TfrmVirtualReader() override;

    QString CardsDir() const { return fCardsDir; }
    // The path of the file of the card with this UID.
    QString CardPath(const std::vector<uint8_t> &uid) const;

    // Controls
    QListWidget *lvCards;
    QComboBox *cbxCardType;  // "1K" / "4K"
    QComboBox *cbxUidLength; // "4 байта" / "7 байт"
    QCheckBox *cbRandomUid;
    QLineEdit *edtUid;
    QPushButton *btnCreate;
    QPushButton *btnPutOn;
    QPushButton *btnTakeOff;
    QPushButton *btnDelete;
    QLabel *lblField;
    QLabel *lblStatus;
    QPlainTextEdit *memDump;

    // Handlers (the buttons call them; tests may too).
    // Creates a blank card as the controls say; its UID, or nullopt after a refusal.
    std::optional<std::vector<uint8_t>> btnCreateClick();
    void btnPutOnClick();
    void btnTakeOffClick();
    void btnDeleteClick();
    void cbRandomUidClick();
    void lvCardsChange();

    // Rereads the folder and the field, keeping the selection.
    void RefreshCards();
    // Selects the file of the card with this UID in the list; false when it is not listed.
    bool SelectCard(const std::vector<uint8_t> &uid);
    // The UID of the selected list entry, or nullopt.
    std::optional<std::vector<uint8_t>> SelectedUid() const;

signals:
    // A card file was rewritten after a change of the card in the field.
    void cardSaved(const QString &path);

protected:
    void customEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct THookLink;

    void ShowStatus(const QString &text, bool error);
    void ShowFieldState();
    void ShowSelectedCard();

    TSimField &fField;
    QString fCardsDir;
    std::shared_ptr<THookLink> fLink;
};

extern TfrmVirtualReader *frmVirtualReader;
