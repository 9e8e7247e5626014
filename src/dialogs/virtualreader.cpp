#include "dialogs/virtualreader.h"

#include "app/modal.h"
#include "reader/sim/simfield.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QVBoxLayout>

#include <mutex>

TfrmVirtualReader *frmVirtualReader = nullptr;

namespace VirtualReader {

namespace {

constexpr uint8_t CascadeTag = 0x88;

QString Hex2(unsigned value)
{
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

// Who may do something, as the data sheet's tables name it.
enum TWho
{
    Never,
    KeyA,
    KeyB,
    KeyAB
};

QString Who(TWho who)
{
    switch (who) {
    case KeyA:
        return QStringLiteral("ключ A");
    case KeyB:
        return QStringLiteral("ключ B");
    case KeyAB:
        return QStringLiteral("ключ A или B");
    case Never:
        break;
    }
    return QStringLiteral("никогда");
}

QString ReadWrite(TWho read, TWho write)
{
    return QStringLiteral("чтение — ") + Who(read) + QStringLiteral(", запись — ") + Who(write);
}

} // namespace

QString CardFileName(const std::vector<uint8_t> &uid)
{
    QString name;
    for (uint8_t b : uid)
        name += Hex2(b);
    return name + QStringLiteral(".mfd");
}

std::optional<std::vector<uint8_t>> UidFromFileName(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9A-Fa-f]{8}|[0-9A-Fa-f]{14})\\.mfd$"));
    const auto match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QString digits = match.captured(1);
    std::vector<uint8_t> uid;
    for (int i = 0; i < digits.size(); i += 2)
        uid.push_back(uint8_t(digits.mid(i, 2).toUInt(nullptr, 16)));
    return uid;
}

std::optional<std::vector<uint8_t>> ParseUid(const QString &text, int uidLength)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    if (!hex.match(digits).hasMatch() || digits.size() != 2 * uidLength ||
        (uidLength != 4 && uidLength != 7))
        return std::nullopt;
    std::vector<uint8_t> uid;
    for (int i = 0; i < digits.size(); i += 2)
        uid.push_back(uint8_t(digits.mid(i, 2).toUInt(nullptr, 16)));
    if (uid[0] == CascadeTag)
        return std::nullopt;
    return uid;
}

std::vector<uint8_t> RandomUid(int uidLength)
{
    if (uidLength != 7)
        uidLength = 4;
    auto *random = QRandomGenerator::global();
    std::vector<uint8_t> uid(size_t(uidLength), 0);
    for (;;) {
        for (auto &b : uid)
            b = uint8_t(random->bounded(256));
        if (uidLength == 7)
            uid[0] = 0x04; // the manufacturer byte of NXP, as on real 7-byte cards
        bool allZero = true;
        for (size_t i = uidLength == 7 ? 1 : 0; i < uid.size(); ++i)
            allZero = allZero && uid[i] == 0;
        // The second cascade level of a 7-byte UID starts with UID byte 3.
        const bool tagged = uid[0] == CascadeTag || (uidLength == 7 && uid[3] == CascadeTag);
        if (!allZero && !tagged)
            return uid;
    }
}

QString HexBytes(const uint8_t *data, int length)
{
    QStringList parts;
    for (int i = 0; i < length; ++i)
        parts << Hex2(data[i]);
    return parts.join(QLatin1Char(' '));
}

std::optional<int> AccessCondition(const uint8_t *t, int group)
{
    const int nC1 = t[6] & 0x0F, nC2 = t[6] >> 4, nC3 = t[7] & 0x0F;
    const int c1 = t[7] >> 4, c2 = t[8] & 0x0F, c3 = t[8] >> 4;
    if ((c1 ^ nC1) != 0x0F || (c2 ^ nC2) != 0x0F || (c3 ^ nC3) != 0x0F)
        return std::nullopt;
    if (group < 0 || group > 3)
        return std::nullopt;
    return ((c1 >> group) & 1) << 2 | ((c2 >> group) & 1) << 1 | ((c3 >> group) & 1);
}

QString DescribeDataCondition(int bits)
{
    switch (bits & 7) {
    case 0: // 000
        return ReadWrite(KeyAB, KeyAB) + QStringLiteral(", увеличение и уменьшение — ключ A или B");
    case 2: // 010
        return ReadWrite(KeyAB, Never);
    case 4: // 100
        return ReadWrite(KeyAB, KeyB);
    case 6: // 110
        return ReadWrite(KeyAB, KeyB) +
               QStringLiteral(", увеличение — ключ B, уменьшение — ключ A или B (блок-значение)");
    case 1: // 001
        return ReadWrite(KeyAB, Never) +
               QStringLiteral(", уменьшение — ключ A или B (блок-значение)");
    case 3: // 011
        return ReadWrite(KeyB, KeyB);
    case 5: // 101
        return ReadWrite(KeyB, Never);
    default: // 111
        return ReadWrite(Never, Never);
    }
}

QString DescribeTrailerCondition(int bits)
{
    struct TRights
    {
        TWho keyARead, keyAWrite, accessRead, accessWrite, keyBRead, keyBWrite;
    };
    // Key A is never readable; the rest as the data sheet's trailer table says.
    static constexpr TRights table[8] = {
        {Never, KeyA, KeyA, Never, KeyA, KeyA},     // 000
        {Never, KeyA, KeyA, KeyA, KeyA, KeyA},      // 001
        {Never, Never, KeyA, Never, KeyA, Never},   // 010
        {Never, KeyB, KeyAB, KeyB, Never, KeyB},    // 011
        {Never, KeyB, KeyAB, Never, Never, KeyB},   // 100
        {Never, Never, KeyAB, KeyB, Never, Never},  // 101
        {Never, Never, KeyAB, Never, Never, Never}, // 110
        {Never, Never, KeyAB, Never, Never, Never}, // 111
    };
    const TRights &r = table[bits & 7];
    QString text = QStringLiteral("ключ A: ") + ReadWrite(r.keyARead, r.keyAWrite) +
                   QStringLiteral("; биты доступа: ") + ReadWrite(r.accessRead, r.accessWrite) +
                   QStringLiteral("; ключ B: ") + ReadWrite(r.keyBRead, r.keyBWrite);
    if (r.keyBRead != Never)
        text += QStringLiteral(" (ключ B читается, поэтому ключом не служит)");
    return text;
}

QStringList DescribeTrailer(const uint8_t *t, int firstBlock, int blocksInSector)
{
    QStringList lines;
    lines << QStringLiteral("Ключ A: ") + HexBytes(t, 6) + QStringLiteral("; ключ B: ") +
                 HexBytes(t + 10, 6) + QStringLiteral("; биты доступа: ") + HexBytes(t + 6, 3) +
                 QStringLiteral("; байт 9: ") + Hex2(t[9]);
    if (!AccessCondition(t, 3)) {
        lines << QStringLiteral(
            "Биты доступа не сходятся со своими дополнениями: сектор заблокирован навсегда");
        return lines;
    }
    const int groupSize = blocksInSector == 16 ? 5 : 1;
    auto bitsText = [](int bits) {
        return QStringLiteral("%1%2%3").arg((bits >> 2) & 1).arg((bits >> 1) & 1).arg(bits & 1);
    };
    for (int g = 0; g < 3; ++g) {
        const int bits = *AccessCondition(t, g);
        const int first = firstBlock + g * groupSize;
        const QString blocks =
            groupSize == 1 ? QStringLiteral("Блок %1").arg(first)
                           : QStringLiteral("Блоки %1–%2").arg(first).arg(first + groupSize - 1);
        lines << blocks + QStringLiteral(" (") + bitsText(bits) + QStringLiteral("): ") +
                     DescribeDataCondition(bits);
    }
    const int trailerBits = *AccessCondition(t, 3);
    lines << QStringLiteral("Трейлер, блок %1 (").arg(firstBlock + blocksInSector - 1) +
                 bitsText(trailerBits) + QStringLiteral("): ") +
                 DescribeTrailerCondition(trailerBits);
    return lines;
}

QString DescribeCard(const TSimCard &card)
{
    QStringList lines;
    const auto &uid = card.Uid();
    lines << QStringLiteral("Карта %1, UID %2, SAK %3, ATQA %4")
                 .arg(card.CardType() == TSimCard::Type::Classic1K ? QStringLiteral("1K")
                                                                   : QStringLiteral("4K"))
                 .arg(HexBytes(uid.data(), int(uid.size())))
                 .arg(Hex2(card.Sak()))
                 .arg(QStringLiteral("%1").arg(card.Atqa(), 4, 16, QLatin1Char('0')).toUpper());
    for (int s = 0; s < card.SectorCount(); ++s) {
        lines << QString() << QStringLiteral("Сектор %1").arg(s);
        const int first = TSimCard::FirstBlockOfSector(s);
        const int count = TSimCard::BlocksInSector(s);
        for (int b = first; b < first + count; ++b) {
            const auto data = card.Block(b);
            lines << QStringLiteral("  %1: ").arg(b, 3) + HexBytes(data.data(), 16);
        }
        const auto trailer = card.Block(TSimCard::TrailerOfSector(s));
        const QString indent = QStringLiteral("       ");
        for (const QString &line : DescribeTrailer(trailer.data(), first, count)) {
            // The trailer's own rights, one part per line, so the view needs no scrolling.
            if (!line.startsWith(QStringLiteral("Трейлер"))) {
                lines << indent + line;
                continue;
            }
            const QStringList parts = line.split(QStringLiteral("; "));
            for (int i = 0; i < parts.size(); ++i)
                lines << indent + (i > 0 ? QStringLiteral("    ") : QString()) + parts[i] +
                             (i + 1 < parts.size() ? QStringLiteral(";") : QString());
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString CardsFolderFor(const QString &databasePath)
{
    return QFileInfo(databasePath).absoluteDir().filePath(QStringLiteral("tagor.cards"));
}

} // namespace VirtualReader

using namespace VirtualReader;

namespace {

// Posted by the field's change hook (on the thread that changed the card) once the card's
// file has been rewritten, or has failed to be.
const QEvent::Type CardSavedEventType = QEvent::Type(QEvent::User + 77);

class TCardSavedEvent : public QEvent
{
public:
    TCardSavedEvent(const QString &path, const QString &error)
        : QEvent(CardSavedEventType), Path(path), Error(error)
    {
    }
    QString Path;
    QString Error;
};

} // namespace

// What the change hook shares with the window: the folder and, while the window lives,
// the window as the receiver of its notices.
struct TfrmVirtualReader::THookLink
{
    std::mutex Lock;
    QObject *Receiver = nullptr;
    QString Dir;
};

TfrmVirtualReader::TfrmVirtualReader(TSimField &field, const QString &cardsDir, QWidget *parent)
    : QWidget(parent, Qt::Window), fField(field), fCardsDir(cardsDir),
      fLink(std::make_shared<THookLink>())
{
    setObjectName(QStringLiteral("frmVirtualReader"));
    setWindowTitle(QStringLiteral("Виртуальный считыватель"));
    // Closing the main window ends the program even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    QDir().mkpath(fCardsDir);

    auto *root = new QHBoxLayout(this);
    auto *left = new QVBoxLayout;
    root->addLayout(left, 0);

    lblField = new QLabel(this);
    lblField->setObjectName(QStringLiteral("lblField"));
    QFont bold = lblField->font();
    bold.setBold(true);
    lblField->setFont(bold);
    left->addWidget(lblField);

    auto *listLabel =
        new QLabel(QStringLiteral("Карты (папка %1):")
                       .arg(QDir::toNativeSeparators(QFileInfo(fCardsDir).fileName())),
                   this);
    left->addWidget(listLabel);
    lvCards = new QListWidget(this);
    lvCards->setObjectName(QStringLiteral("lvCards"));
    lvCards->setMinimumWidth(250);
    left->addWidget(lvCards, 1);

    auto *cardButtons = new QGridLayout;
    btnPutOn = new QPushButton(QStringLiteral("Положить на считыватель"), this);
    btnPutOn->setObjectName(QStringLiteral("btnPutOn"));
    btnTakeOff = new QPushButton(QStringLiteral("Снять со считывателя"), this);
    btnTakeOff->setObjectName(QStringLiteral("btnTakeOff"));
    btnDelete = new QPushButton(QStringLiteral("Удалить файл карты"), this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    cardButtons->addWidget(btnPutOn, 0, 0);
    cardButtons->addWidget(btnTakeOff, 0, 1);
    cardButtons->addWidget(btnDelete, 1, 0, 1, 2);
    left->addLayout(cardButtons);

    auto *create = new QGroupBox(QStringLiteral("Новая чистая карта"), this);
    auto *grid = new QGridLayout(create);
    grid->addWidget(new QLabel(QStringLiteral("Тип:"), create), 0, 0);
    cbxCardType = new QComboBox(create);
    cbxCardType->setObjectName(QStringLiteral("cbxCardType"));
    cbxCardType->addItem(QStringLiteral("MIFARE Classic 1K"));
    cbxCardType->addItem(QStringLiteral("MIFARE Classic 4K"));
    grid->addWidget(cbxCardType, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("UID:"), create), 1, 0);
    cbxUidLength = new QComboBox(create);
    cbxUidLength->setObjectName(QStringLiteral("cbxUidLength"));
    cbxUidLength->addItem(QStringLiteral("4 байта"), 4);
    cbxUidLength->addItem(QStringLiteral("7 байт"), 7);
    grid->addWidget(cbxUidLength, 1, 1);
    cbRandomUid = new QCheckBox(QStringLiteral("Случайный UID"), create);
    cbRandomUid->setObjectName(QStringLiteral("cbRandomUid"));
    cbRandomUid->setChecked(true);
    grid->addWidget(cbRandomUid, 2, 0, 1, 2);
    edtUid = new QLineEdit(create);
    edtUid->setObjectName(QStringLiteral("edtUid"));
    edtUid->setPlaceholderText(QStringLiteral("UID в HEX, например 1A2B3C4D"));
    edtUid->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f ]{0,20}")), edtUid));
    grid->addWidget(edtUid, 3, 0, 1, 2);
    btnCreate = new QPushButton(QStringLiteral("Создать карту"), create);
    btnCreate->setObjectName(QStringLiteral("btnCreate"));
    grid->addWidget(btnCreate, 4, 0, 1, 2);
    left->addWidget(create);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setMaximumWidth(300);
    left->addWidget(lblStatus);

    memDump = new QPlainTextEdit(this);
    memDump->setObjectName(QStringLiteral("memDump"));
    memDump->setReadOnly(true);
    memDump->setLineWrapMode(QPlainTextEdit::NoWrap);
    memDump->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memDump->setMinimumWidth(240);
    root->addWidget(memDump, 1);

    connect(btnCreate, &QPushButton::clicked, this, [this] { btnCreateClick(); });
    connect(btnPutOn, &QPushButton::clicked, this, &TfrmVirtualReader::btnPutOnClick);
    connect(btnTakeOff, &QPushButton::clicked, this, &TfrmVirtualReader::btnTakeOffClick);
    connect(btnDelete, &QPushButton::clicked, this, &TfrmVirtualReader::btnDeleteClick);
    connect(cbRandomUid, &QCheckBox::toggled, this, &TfrmVirtualReader::cbRandomUidClick);
    connect(lvCards, &QListWidget::currentRowChanged, this, &TfrmVirtualReader::lvCardsChange);
    cbRandomUidClick();

    // Every change the worker makes to the card in the field is written to its file at
    // once, on the worker's thread; the window hears of it through a posted event.
    fLink->Receiver = this;
    fLink->Dir = fCardsDir;
    std::shared_ptr<THookLink> link = fLink;
    fField.SetChangeHook([link](const TSimCard &card) {
        QString dir;
        {
            std::lock_guard lock(link->Lock);
            dir = link->Dir;
        }
        const QString path = QDir(dir).filePath(CardFileName(card.Uid()));
        QString error;
        if (!card.SaveFile(path, &error) && error.isEmpty())
            error = QStringLiteral("?");
        std::lock_guard lock(link->Lock);
        if (link->Receiver)
            QCoreApplication::postEvent(link->Receiver, new TCardSavedEvent(path, error));
    });

    resize(1140, 620);
    RefreshCards();
}

TfrmVirtualReader::~TfrmVirtualReader()
{
    {
        std::lock_guard lock(fLink->Lock);
        fLink->Receiver = nullptr;
    }
    fField.SetChangeHook({});
    if (frmVirtualReader == this)
        frmVirtualReader = nullptr;
}

QString TfrmVirtualReader::CardPath(const std::vector<uint8_t> &uid) const
{
    return QDir(fCardsDir).filePath(CardFileName(uid));
}

void TfrmVirtualReader::customEvent(QEvent *event)
{
    if (event->type() != CardSavedEventType) {
        QWidget::customEvent(event);
        return;
    }
    const auto *saved = static_cast<TCardSavedEvent *>(event);
    if (!saved->Error.isEmpty()) {
        ShowStatus(QStringLiteral("Файл карты %1 не записан: %2")
                       .arg(QFileInfo(saved->Path).fileName(), saved->Error),
                   true);
    } else {
        // A card written for the first time (its file had been deleted) joins the list.
        if (lvCards->findItems(QFileInfo(saved->Path).fileName(), Qt::MatchStartsWith).isEmpty())
            RefreshCards();
        else
            ShowSelectedCard();
        emit cardSaved(saved->Path);
    }
}

void TfrmVirtualReader::closeEvent(QCloseEvent *event)
{
    // The window lives for the whole run and nothing shows it again once hidden, while
    // without it no card reaches the simulated reader: the close box only minimises it.
    event->ignore();
    showMinimized();
}

void TfrmVirtualReader::ShowStatus(const QString &text, bool error)
{
    lblStatus->setStyleSheet(error ? QStringLiteral("color: red;")
                                   : QStringLiteral("color: blue;"));
    lblStatus->setText(text);
}

void TfrmVirtualReader::ShowFieldState()
{
    const auto card = fField.Card();
    if (!card) {
        lblField->setText(QStringLiteral("Считыватель пуст"));
    } else {
        const auto &uid = card->Uid();
        lblField->setText(QStringLiteral("На считывателе: ") +
                          HexBytes(uid.data(), int(uid.size())));
    }
    btnTakeOff->setEnabled(card.has_value());
}

void TfrmVirtualReader::RefreshCards()
{
    const auto selected = SelectedUid();
    const auto onField = fField.Card();
    QSignalBlocker block(lvCards);
    lvCards->clear();
    const QStringList files =
        QDir(fCardsDir).entryList({QStringLiteral("*.mfd")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        const auto uid = UidFromFileName(name);
        if (!uid)
            continue;
        const QFileInfo info(QDir(fCardsDir).filePath(name));
        QString text = name;
        if (info.size() == 1024)
            text += QStringLiteral("  (1K)");
        else if (info.size() == 4096)
            text += QStringLiteral("  (4K)");
        else
            text += QStringLiteral("  (повреждён)");
        if (onField && onField->Uid() == *uid)
            text += QStringLiteral("  ← на считывателе");
        auto *item = new QListWidgetItem(text, lvCards);
        item->setData(Qt::UserRole, name);
    }
    block.unblock();
    if (!selected || !SelectCard(*selected)) {
        if (lvCards->count() > 0)
            lvCards->setCurrentRow(0);
        else
            lvCardsChange();
    }
    ShowFieldState();
}

bool TfrmVirtualReader::SelectCard(const std::vector<uint8_t> &uid)
{
    const QString name = CardFileName(uid);
    for (int i = 0; i < lvCards->count(); ++i) {
        if (lvCards->item(i)->data(Qt::UserRole).toString() == name) {
            if (lvCards->currentRow() == i)
                lvCardsChange();
            else
                lvCards->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

std::optional<std::vector<uint8_t>> TfrmVirtualReader::SelectedUid() const
{
    const QListWidgetItem *item = lvCards->currentItem();
    if (!item)
        return std::nullopt;
    return UidFromFileName(item->data(Qt::UserRole).toString());
}

void TfrmVirtualReader::lvCardsChange()
{
    const bool any = SelectedUid().has_value();
    btnPutOn->setEnabled(any);
    btnDelete->setEnabled(any);
    ShowSelectedCard();
}

void TfrmVirtualReader::ShowSelectedCard()
{
    const auto uid = SelectedUid();
    if (!uid) {
        memDump->clear();
        return;
    }
    // The card in the field is shown as it is now; any other as its file holds it.
    std::optional<TSimCard> card = fField.Card();
    if (!card || card->Uid() != *uid) {
        QString error;
        card = TSimCard::LoadFile(CardPath(*uid), int(uid->size()), &error);
        if (!card) {
            memDump->setPlainText(QStringLiteral("Файл карты не читается: ") + error);
            return;
        }
    }
    // Keep the operator's place when the same card is shown again after a change.
    const int scroll = memDump->verticalScrollBar()->value();
    memDump->setPlainText(DescribeCard(*card));
    memDump->verticalScrollBar()->setValue(scroll);
}

void TfrmVirtualReader::cbRandomUidClick()
{
    edtUid->setEnabled(!cbRandomUid->isChecked());
}

std::optional<std::vector<uint8_t>> TfrmVirtualReader::btnCreateClick()
{
    const int uidLength = cbxUidLength->currentData().toInt();
    std::vector<uint8_t> uid;
    if (cbRandomUid->isChecked()) {
        do
            uid = RandomUid(uidLength);
        while (QFile::exists(CardPath(uid)));
    } else {
        const auto typed = ParseUid(edtUid->text(), uidLength);
        if (!typed) {
            ShowStatus(QStringLiteral("UID должен состоять из %1 байт в HEX (%2 цифр) и не "
                                      "начинаться с 88")
                           .arg(uidLength)
                           .arg(2 * uidLength),
                       true);
            return std::nullopt;
        }
        uid = *typed;
        if (QFile::exists(CardPath(uid))) {
            ShowStatus(QStringLiteral("Карта с UID %1 уже есть")
                           .arg(HexBytes(uid.data(), int(uid.size()))),
                       true);
            return std::nullopt;
        }
    }
    const TSimCard card(cbxCardType->currentIndex() == 1 ? TSimCard::Type::Classic4K
                                                         : TSimCard::Type::Classic1K,
                        uid);
    QString error;
    if (!QDir().mkpath(fCardsDir) || !card.SaveFile(CardPath(uid), &error)) {
        ShowStatus(QStringLiteral("Файл карты не записан: ") + error, true);
        return std::nullopt;
    }
    ShowStatus(QStringLiteral("Создана чистая карта ") + HexBytes(uid.data(), int(uid.size())),
               false);
    RefreshCards();
    SelectCard(uid);
    return uid;
}

void TfrmVirtualReader::btnPutOnClick()
{
    const auto uid = SelectedUid();
    if (!uid)
        return;
    if (const auto current = fField.Card(); current && current->Uid() == *uid) {
        ShowStatus(QStringLiteral("Эта карта уже на считывателе"), false);
        return;
    }
    QString error;
    const auto card = TSimCard::LoadFile(CardPath(*uid), int(uid->size()), &error);
    if (!card) {
        ShowStatus(QStringLiteral("Файл карты не читается: ") + error, true);
        return;
    }
    // One card at a time: the one lying there is taken off first (its file is current).
    fField.TakeCard();
    fField.PutCard(*card);
    ShowStatus(QStringLiteral("Карта ") + HexBytes(uid->data(), int(uid->size())) +
                   QStringLiteral(" на считывателе"),
               false);
    RefreshCards();
}

void TfrmVirtualReader::btnTakeOffClick()
{
    const auto card = fField.TakeCard();
    if (card)
        ShowStatus(QStringLiteral("Карта ") +
                       HexBytes(card->Uid().data(), int(card->Uid().size())) +
                       QStringLiteral(" снята со считывателя"),
                   false);
    RefreshCards();
}

void TfrmVirtualReader::btnDeleteClick()
{
    const auto uid = SelectedUid();
    if (!uid)
        return;
    if (const auto current = fField.Card(); current && current->Uid() == *uid) {
        ShowStatus(QStringLiteral("Сначала снимите карту со считывателя"), true);
        return;
    }
    const QString name = CardFileName(*uid);
    if (Modal::Message(this, QMessageBox::Question, QStringLiteral("Виртуальный считыватель"),
                       QStringLiteral("Удалить файл карты %1?").arg(name),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!QFile::remove(CardPath(*uid))) {
        ShowStatus(QStringLiteral("Файл %1 не удалён").arg(name), true);
        return;
    }
    ShowStatus(QStringLiteral("Файл %1 удалён").arg(name), false);
    RefreshCards();
}
