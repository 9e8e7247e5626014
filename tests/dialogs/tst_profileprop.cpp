// The profile dialog (entries, key filter, OK rule, sector minimum) and the creation and
// deletion of profiles from the main window.

#include "profilefixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QStatusBar>

using F = TProfileFixture;

class TestProfileProp : public TProfileTestCase
{
    Q_OBJECT

private slots:
    void okRule_data();
    void okRule();
    void keyEntry_data();
    void keyEntry();
    void partlyFilledKeyReadsZeros();
    void sectorMinimumFollowsOriginalId();

    void createRefusedOnEmptyBase_data();
    void createRefusedOnEmptyBase();
    void createWithMasterCard();
    void createWithoutReader();
    void createCancelledOrNotUnlocked_data();
    void createCancelledOrNotUnlocked();

    void deleteProfile_data();
    void deleteProfile();

private:
    // Fills the profile dialog as the operator would and presses OK.
    struct TEntry
    {
        QString name;
        int sector;
        QString keyA;
        QString keyB;
        QString password;
        bool useOriginalId;
        bool masterCard;
    };
    static void QueueProfileDialog(const TEntry &entry, bool *shown = nullptr);
    static QString Status(const QString &caption, bool active)
    {
        return QStringLiteral("Текущий профиль:  ") + caption +
               (active ? QStringLiteral("  (АКТИВЕН)") : QStringLiteral("  (не активен)"));
    }
};

// --- the dialog itself ---------------------------------------------------------------------

void TestProfileProp::okRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keyA");
    QTest::addColumn<QString>("keyB");
    QTest::addColumn<QString>("pass1");
    QTest::addColumn<QString>("pass2");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("hint"); // empty: the standard hint

    const QString kA = QStringLiteral("A1A2A3A4A5A6"), kB = QStringLiteral("B1B2B3B4B5B6");
    const QString zero = QStringLiteral("000000000000");
    QTest::newRow("fresh: zero keys, no password")
        << QStringLiteral("<имя профиля>") << zero << zero << QString() << QString() << false
        << QString();
    QTest::newRow("all minimal") << QStringLiteral("Цех1") << kA << kB << QStringLiteral("abcd")
                                 << QStringLiteral("abcd") << true << QString();
    QTest::newRow("passwords differ in the last character")
        << QStringLiteral("Цех1") << kA << kB << QStringLiteral("abcd") << QStringLiteral("abce")
        << false << QString();
    QTest::newRow("password case differs")
        << QStringLiteral("Цех1") << kA << kB << QStringLiteral("abcd") << QStringLiteral("abcD")
        << false << QString();
    QTest::newRow("name of 3") << QStringLiteral("Цех") << kA << kB << QStringLiteral("abcd")
                               << QStringLiteral("abcd") << false << QString();
    QTest::newRow("password of 3") << QStringLiteral("Цех1") << kA << kB << QStringLiteral("abc")
                                   << QStringLiteral("abc") << false << QString();
    QTest::newRow("key A zero") << QStringLiteral("Цех1") << zero << kB << QStringLiteral("abcd")
                                << QStringLiteral("abcd") << false << QString();
    QTest::newRow("key B zero") << QStringLiteral("Цех1") << kA << zero << QStringLiteral("abcd")
                                << QStringLiteral("abcd") << false << QString();
    QTest::newRow("equal keys are allowed")
        << QStringLiteral("Цех1") << kA << kA << QStringLiteral("abcd") << QStringLiteral("abcd")
        << true << QString();
    // Passwords that the stored key data could not give back.
    QTest::newRow("colon refused") << QStringLiteral("Цех1") << kA << kB << QStringLiteral("ab:cd")
                                   << QStringLiteral("ab:cd") << false << QStringLiteral("\":\"");
    QTest::newRow("cyrillic refused")
        << QStringLiteral("Цех1") << kA << kB << QStringLiteral("пароль")
        << QStringLiteral("пароль") << false << QStringLiteral("русские буквы");
    QTest::newRow("latin-1 allowed")
        << QStringLiteral("Цех1") << kA << kB << QStringLiteral("pässé") << QStringLiteral("pässé")
        << true << QString();
}

void TestProfileProp::okRule()
{
    QFETCH(QString, name);
    QFETCH(QString, keyA);
    QFETCH(QString, keyB);
    QFETCH(QString, pass1);
    QFETCH(QString, pass2);
    QFETCH(bool, enabled);
    QFETCH(QString, hint);

    TfrmProfileProp *d = frmProfileProp;
    d->PrepareForNew();
    QVERIFY(!d->btnOk->isEnabled()); // right after PrepareForNew
    d->edtName->setText(name);
    d->edtKeyA->setText(keyA);
    d->edtKeyB->setText(keyB);
    d->edtPasswd1->setText(pass1);
    d->edtPasswd2->setText(pass2);
    QCOMPARE(d->btnOk->isEnabled(), enabled);
    QCOMPARE(d->actOk->isEnabled(), enabled);
    if (hint.isEmpty())
        QCOMPARE(d->lblHint->text(), TfrmProfileProp::DefaultHint());
    else
        QVERIFY2(d->lblHint->text().contains(hint), qPrintable(d->lblHint->text()));

    // OK does not close the dialog while the rule fails.
    d->show();
    d->setResult(QDialog::Rejected);
    d->actOk->trigger();
    QCOMPARE(d->result() == QDialog::Accepted, enabled);
    d->hide();

    // Mending the password brings the standard hint back.
    d->edtPasswd1->setText(QStringLiteral("good1"));
    d->edtPasswd2->setText(QStringLiteral("good1"));
    QCOMPARE(d->lblHint->text(), TfrmProfileProp::DefaultHint());
}

void TestProfileProp::keyEntry_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<qint64>("value");

    QTest::newRow("g enters nothing")
        << QStringLiteral("g") << QStringLiteral("00 00 00 00 00 00") << qint64(0);
    QTest::newRow("f enters F") << QStringLiteral("f") << QStringLiteral("F0 00 00 00 00 00")
                                << qint64(0xF00000000000);
    QTest::newRow("lower case, digits, full")
        << QStringLiteral("ab12cd34ef56") << QStringLiteral("AB 12 CD 34 EF 56")
        << qint64(0xAB12CD34EF56);
    QTest::newRow("minus, z and blank are dropped")
        << QStringLiteral("1-2z 3") << QStringLiteral("12 30 00 00 00 00")
        << qint64(0x123000000000);
}

void TestProfileProp::keyEntry()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(qint64, value);

    TfrmProfileProp *d = frmProfileProp;
    d->PrepareForNew();
    d->show();
    for (QLineEdit *entry : {d->edtKeyA, d->edtKeyB}) {
        entry->setFocus();
        entry->setCursorPosition(0);
        QTest::keyClicks(entry, typed);
        QCOMPARE(entry->displayText(), shown);
    }
    QCOMPARE(d->KeyA(), value);
    QCOMPARE(d->KeyB(), value);
    d->hide();
}

void TestProfileProp::partlyFilledKeyReadsZeros()
{
    TfrmProfileProp *d = frmProfileProp;
    d->PrepareForNew();
    // The first four positions hold digits, the eight others are empty.
    d->edtKeyA->clear();
    d->edtKeyA->setCursorPosition(0);
    QTest::keyClicks(d->edtKeyA, QStringLiteral("9876"));
    QCOMPARE(d->edtKeyA->displayText(), QStringLiteral("98 76 00 00 00 00"));
    QCOMPARE(d->KeyA(), qint64(0x987600000000));
    // A key that ends in digits keeps them in the low positions.
    d->edtKeyB->setText(QStringLiteral("0000000000A5"));
    QCOMPARE(d->KeyB(), qint64(0xA5));
}

void TestProfileProp::sectorMinimumFollowsOriginalId()
{
    TfrmProfileProp *d = frmProfileProp;
    d->cbxUseOriginalId->setChecked(false);
    d->PrepareForNew();
    d->show();
    QCOMPARE(d->sedSectorNumber->minimum(), 1);
    QCOMPARE(d->sedSectorNumber->maximum(), 31);
    QCOMPARE(d->sedSectorNumber->value(), 1);

    d->cbxUseOriginalId->click();
    QCOMPARE(d->sedSectorNumber->minimum(), 0);
    d->sedSectorNumber->setValue(0);
    QCOMPARE(d->sedSectorNumber->value(), 0);
    d->cbxUseOriginalId->click(); // unticked: 0 becomes 1
    QCOMPARE(d->sedSectorNumber->minimum(), 1);
    QCOMPARE(d->sedSectorNumber->value(), 1);
    d->sedSectorNumber->setValue(7);
    d->cbxUseOriginalId->click();
    d->cbxUseOriginalId->click();
    QCOMPARE(d->sedSectorNumber->value(), 7); // other values stay
    d->cbxUseOriginalId->click();
    d->hide();

    // The tick carries over to the next creation, and the minimum follows it at show.
    d->PrepareForNew();
    QVERIFY(d->cbxUseOriginalId->isChecked());
    QVERIFY(d->cbMasterCard->isChecked());
    d->sedSectorNumber->setMinimum(1);
    d->show();
    QCOMPARE(d->sedSectorNumber->minimum(), 0);
    QCOMPARE(d->sedSectorNumber->value(), 1);
    d->hide();
    d->cbxUseOriginalId->setChecked(false);
}

// --- creating a profile ----------------------------------------------------------------------

void TestProfileProp::QueueProfileDialog(const TEntry &entry, bool *shown)
{
    QueueExec([entry, shown](QDialog *dlg) {
        if (!dlg || dlg != frmProfileProp)
            return int(QDialog::Rejected);
        if (shown)
            *shown = true;
        TfrmProfileProp *d = frmProfileProp;
        d->setResult(QDialog::Rejected);
        d->show();
        d->edtName->setText(entry.name);
        if (d->cbxUseOriginalId->isChecked() != entry.useOriginalId)
            d->cbxUseOriginalId->click();
        d->sedSectorNumber->setValue(entry.sector);
        d->edtKeyA->setText(entry.keyA);
        d->edtKeyB->setText(entry.keyB);
        d->edtPasswd1->setText(entry.password);
        d->edtPasswd2->setText(entry.password);
        d->cbMasterCard->setChecked(entry.masterCard);
        d->btnOk->click();
        d->hide();
        return d->result();
    });
}

void TestProfileProp::createRefusedOnEmptyBase_data()
{
    QTest::addColumn<int>("current");
    QTest::newRow("Пустой") << 1;
    QTest::newRow("no current profile") << -1;
}

void TestProfileProp::createRefusedOnEmptyBase()
{
    QFETCH(int, current);
    frmMain->CurrentProfID = current;
    bool asked = false;
    QueuePassword(QStringLiteral("x"), &asked);
    F::AnswerOk();
    const int before = frmMain->ProfList.Count();
    frmMain->actProfileCreateExecute();
    QCOMPARE(F::Boxes(),
             QStringList{QStringLiteral(
                 "Выберите профиль|Новый профиль нельзя создать на базе \"Пустого\".")});
    QCOMPARE(Modal::History().front().icon, QMessageBox::Critical);
    QVERIFY(!asked);
    QCOMPARE(frmMain->ProfList.Count(), before);
}

void TestProfileProp::createWithMasterCard()
{
    const int32_t baseId = F::Office()->ID();
    QVERIFY(!F::Office()->Active());
    F::Store()->SetActive(true); // activated earlier in the run
    bool asked = false;
    QueuePassword(QStringLiteral("office"), &asked);
    QueueProfileDialog({QStringLiteral("Цех"), 6, QStringLiteral("C1C2C3C4C5C6"),
                        QStringLiteral("D1D2D3D4D5D6"), QStringLiteral("ceh1"), false, true});
    // "Цех" has 3 letters: OK stays disabled and the dialog cannot be confirmed.
    frmMain->actProfileCreateExecute();
    QVERIFY(asked);
    QCOMPARE(frmMain->ProfList.Count(), 5);
    QCOMPARE(frmMain->CurrentProfID, baseId);

    const std::vector<uint8_t> uid{0x11, 0x22, 0x33, 0x44};
    bool masterShown = false;
    QueueProfileDialog({QStringLiteral("Цех 2"), 6, QStringLiteral("C1C2C3C4C5C6"),
                        QStringLiteral("D1D2D3D4D5D6"), QStringLiteral("ceh2"), false, true});
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            // The preset target is taken up at once: the worker writes base -> new.
            QVERIFY(d->profileOld && d->profileNew);
            QCOMPARE(d->profileOld->ID(), baseId);
            QCOMPARE(d->profileNew->Caption, QStringLiteral("Цех 2"));
            QVERIFY(!d->cbProfiles->isEnabled());
            QCOMPARE(d->cbProfiles->currentData().toInt(), d->profileNew->ID());
            QVERIFY(d->lblPresentCard->isVisible());
            QVERIFY(F::WorkerRunning());
            QCOMPARE(mfrcthread->profile1.load(), d->profileNew);
            QCOMPARE(mfrcthread->profile0.load(), d->profileOld);
            QCOMPARE(mfrcthread->threadaction.load(), TA_WRITE_MASTER);
            QVERIFY(fx.WaitWorkerPolling());

            fx.Present(F::Blank(uid));
            QVERIFY(QTest::qWaitFor([&] { return fx.Cards().size() == 1; }, 10000));
            QCOMPARE(fx.Cards().front(), (TRegisterRecord{baseId, F::SerialOf(uid), 4096, 1}));
            QTRY_COMPARE(d->lblMsg->text(), TfrmMasterCard::SuccessText());
            const TSimCard card = *fx.OnField();
            QCOMPARE(card.Block(CardLayout::BlockOf(F::OfficeSector, 0)),
                     CardLayout::MasterNumberBlock(4096));
            QCOMPARE(card.Block(CardLayout::BlockOf(F::OfficeSector, 1)),
                     CardLayout::MasterDataBlock(0xC1C2C3C4C5C6, 0xD1D2D3D4D5D6, 6));
        },
        &masterShown);
    frmMain->actProfileCreateExecute();
    QVERIFY(masterShown);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(mfrcthread->Suspended()); // closing the dialog paused the worker

    // The new profile as stored.
    auto stored = F::StoredProfiles();
    TSecProfile *created = stored->ProfileByName(QStringLiteral("Цех 2"));
    QVERIFY(created);
    QCOMPARE(created->PrevID(), baseId);
    QCOMPARE(int(created->Sector), 6);
    QCOMPARE(created->KeyA, qint64(0xC1C2C3C4C5C6));
    QCOMPARE(created->KeyB, qint64(0xD1D2D3D4D5D6));
    QCOMPARE(created->passwd, QStringLiteral("ceh2"));
    QCOMPARE(int(created->srcKey), 1);
    QCOMPARE(created->srcKeyValue, F::OfficeKeyB);
    QCOMPARE(created->UseOriginalId(), 0);
    QCOMPARE(created->IsReadOnly(), 0);

    // The new profile is current and active; only it and its base are active.
    QCOMPARE(frmMain->CurrentProfID, created->ID());
    QCOMPARE(frmMain->cbProfiles->currentData().toInt(), created->ID());
    QCOMPARE(frmMain->sbPanel1->text(), Status(QStringLiteral("Цех 2"), true));
    QVERIFY(!frmMain->actProfActivate->isEnabled());
    for (int i = 0; i < frmMain->ProfList.Count(); ++i) {
        const TSecProfile *p = frmMain->ProfList.GetItem(i);
        QCOMPARE(p->Active(), p->ID() == baseId || p->ID() == created->ID());
    }
    QCOMPARE(frmMain->cbProfiles->count(), 6);
}

void TestProfileProp::createWithoutReader()
{
    // The caption of an older profile: the new profile is still the one made current.
    F::SelectCurrent(F::Store()->ID());
    F::Store()->SetActive(true);
    const int32_t oldStoreId = F::Store()->ID();
    ReaderKind = READER_NONE;
    bool masterShown = false;
    QueueProfileDialog({QStringLiteral("Склад"), 0, QStringLiteral("0102030405"),
                        QStringLiteral("F1F2F3F4F5F6"), QStringLiteral("pwok"), true, true});
    QueueShown<TfrmMasterCard>(
        frmMasterCard, [](TfrmMasterCard *) {}, &masterShown);
    F::AnswerOk(); // the reader message
    frmMain->actProfileCreateExecute();

    QVERIFY(!masterShown);
    QCOMPARE(F::Boxes(), QStringList{QStringLiteral(
                             "Нет считывателя|Нет доступного или подключенного считывателя")});
    auto stored = F::StoredProfiles();
    QCOMPARE(stored->Count(), 6);
    const TSecProfile *created = stored->GetItem(5);
    QVERIFY(created->ID() > oldStoreId);
    QCOMPARE(created->Caption, QStringLiteral("Склад"));
    QCOMPARE(created->PrevID(), oldStoreId);
    QCOMPARE(created->UseOriginalId(), 1);
    QCOMPARE(int(created->Sector), 0);
    QCOMPARE(created->KeyA, qint64(0x010203040500)); // unfilled positions read as 0
    QCOMPARE(created->srcKeyValue, F::StoreKeyB);

    QCOMPARE(frmMain->CurrentProfID, created->ID());
    TSecProfile *current = frmMain->CurrentProfile();
    QVERIFY(current && current->Active());
    QCOMPARE(current->passwd, QStringLiteral("pwok"));
    TSecProfile *older = frmMain->ProfList.ProfileByID(oldStoreId);
    QVERIFY(older && older->Active()); // the base
    QCOMPARE(frmMain->sbPanel1->text(), Status(QStringLiteral("Склад"), true));
    frmProfileProp->cbxUseOriginalId->setChecked(false);
}

void TestProfileProp::createCancelledOrNotUnlocked_data()
{
    QTest::addColumn<QString>("password"); // of the base; null: cancelled
    QTest::addColumn<bool>("dialogShown");
    QTest::newRow("profile dialog cancelled") << QStringLiteral("office") << true;
    QTest::newRow("wrong base password") << QStringLiteral("Office") << false;
    QTest::newRow("password dialog cancelled") << QString() << false;
}

void TestProfileProp::createCancelledOrNotUnlocked()
{
    QFETCH(QString, password);
    QFETCH(bool, dialogShown);
    QueuePassword(password);
    bool shown = false;
    QueueExec([&shown](QDialog *d) {
        if (d == frmProfileProp) {
            shown = true;
            frmProfileProp->setResult(QDialog::Rejected);
            frmProfileProp->edtName->setText(QStringLiteral("Новый"));
            frmProfileProp->edtKeyA->setText(QStringLiteral("111111111111"));
            frmProfileProp->edtKeyB->setText(QStringLiteral("222222222222"));
            frmProfileProp->edtPasswd1->setText(QStringLiteral("pass"));
            frmProfileProp->edtPasswd2->setText(QStringLiteral("pass"));
            frmProfileProp->btnCancel->click();
            return frmProfileProp->result();
        }
        return int(QDialog::Rejected);
    });
    const int32_t current = frmMain->CurrentProfID;
    TSecProfile *const office = F::Office();
    frmMain->actProfileCreateExecute();
    QCOMPARE(shown, dialogShown);
    QVERIFY(Modal::History().empty());
    QCOMPARE(F::StoredProfiles()->Count(), 5);
    QCOMPARE(frmMain->CurrentProfID, current);
    QCOMPARE(F::Office(), office); // the list was not reloaded
}

// --- deleting a profile ----------------------------------------------------------------------

void TestProfileProp::deleteProfile_data()
{
    QTest::addColumn<int>("current"); // 0: "Склад"
    QTest::addColumn<int>("answer");  // queued answer to the question, or 0
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("deleted");

    const QString question =
        QStringLiteral("Подтверждение|Вы уверены, что хотите удалить профиль \"Склад\"?");
    const QString protectedBox =
        QStringLiteral("Недопустимая операция|Данный профиль нельзя редактировать или удалять!");
    QTest::newRow("Транспортный protected")
        << 2 << 0 << QString() << QStringList{protectedBox} << false;
    QTest::newRow("Пустой protected") << 1 << 0 << QString() << QStringList{protectedBox} << false;
    QTest::newRow("no current profile")
        << -1 << 0 << QString()
        << QStringList{QStringLiteral("Нет профиля|Не активирован профиль безопасности.")} << false;
    QTest::newRow("answered No") << 0 << int(QMessageBox::No) << QString() << QStringList{question}
                                 << false;
    QTest::newRow("wrong password")
        << 0 << int(QMessageBox::Yes) << QStringLiteral("Store") << QStringList{question} << false;
    QTest::newRow("confirmed and unlocked")
        << 0 << int(QMessageBox::Yes) << QStringLiteral("store") << QStringList{question} << true;
}

void TestProfileProp::deleteProfile()
{
    QFETCH(int, current);
    QFETCH(int, answer);
    QFETCH(QString, password);
    QFETCH(QStringList, boxes);
    QFETCH(bool, deleted);

    const int32_t storeId = F::Store()->ID();
    F::Office()->SetActive(true);
    if (current == 0)
        F::SelectCurrent(storeId);
    else
        frmMain->CurrentProfID = current;
    Modal::SetNextAnswer(answer ? QMessageBox::StandardButton(answer) : QMessageBox::Ok);
    bool asked = false;
    QueuePassword(password, &asked);
    Modal::ClearHistory();

    frmMain->actProfileDeleteExecute();

    QCOMPARE(F::Boxes(), boxes);
    QCOMPARE(Modal::History().front().icon, answer ? QMessageBox::Question : QMessageBox::Critical);
    QCOMPARE(asked, answer == int(QMessageBox::Yes));
    QCOMPARE(F::StoredProfiles()->ProfileByID(storeId) == nullptr, deleted);
    QCOMPARE(frmMain->ProfList.ProfileByID(storeId) == nullptr, deleted);
    if (deleted) {
        QCOMPARE(frmMain->CurrentProfID, 2);
        QCOMPARE(frmMain->cbProfiles->currentText(), QStringLiteral("Транспортный"));
        QCOMPARE(frmMain->cbProfiles->count(), 4);
        QCOMPARE(frmMain->sbPanel1->text(), Status(QStringLiteral("Транспортный"), false));
        QVERIFY(F::Office()->Active()); // the others keep their flags
    } else if (current == 0) {
        QCOMPARE(frmMain->CurrentProfID, storeId);
        QCOMPARE(frmMain->cbProfiles->count(), 5);
    }
}

QTEST_MAIN(TestProfileProp)
#include "tst_profileprop.moc"
