// The compose and phone-book pages on the real window, logged in to a
// scripted service on a real socket: the header and its guard, the
// counter, the number box, the recipients, the send and the search.
#include "clienttest.h"
#include "scriptedservice.h"
#include "text.h"

#include "headertextedit.h"
#include "uflist.h"

#include "gui/arbutton.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTimer>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

class Compose : public ClientTest {
protected:
    void SetUp() override
    {
        ClientTest::SetUp();
        ASSERT_TRUE(service.isListening());
        WriteSettings("Language=en\r\nServerIP=127.0.0.1\r\nServerPort=" + QByteArray::number(service.port()) + "\r\n");
        Start();
        // The folder has no sound file, which start-up reports; the boxes
        // that count are those after it.
        boxes.boxes.clear();
        peer = LogIn(S(u"bob"), S(u"(Connected)|1"));
        ASSERT_TRUE(peer);
        ASSERT_TRUE(window->connection->LoggedIn);
        page = window->pageNewSMS;
        message = page->txtMessage;
        window->HideAlert();
        window->ShowPage(1);
    }

    QTcpSocket *LogIn(const QString &user, const QString &reply)
    {
        window->ShowPage(5);
        window->pageLogin->txtUsername->setText(user);
        QTest::keyClick(window->pageLogin->txtPassword, Qt::Key_Return);
        QTcpSocket *socket = service.Accept();
        if (!socket || !QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000))
            return nullptr;
        // The login request is the service's; what follows is the test's.
        if (service.Received(socket, 1).isEmpty())
            return nullptr;
        service.messages.clear();
        service.SendEnciphered(socket, protocol::CMD_LOGIN_REPLY, reply);
        (void)QTest::qWaitFor([&] { return !window->connection->LoginPending; }, 10000);
        return socket;
    }

    // The requests the service has received, at least `atLeast` of them.
    // Without a count: every request sent until now, known to be all of
    // them because a search sent after them has arrived (requests arrive in
    // the order they are sent).
    QList<protocol::Message> Requests(int atLeast = 0)
    {
        if (atLeast > 0)
            return service.Requests(peer, atLeast);
        const QString last = S(u"the last request");
        window->connection->SendRequest(protocol::CMD_PHONEBOOK_SEARCH, last);
        QList<protocol::Message> requests;
        for (int count = static_cast<int>(service.messages.size()) + 1;; ++count) {
            requests = service.Requests(peer, count);
            if (requests.size() < count || requests.constLast().data == last)
                break;
        }
        EXPECT_TRUE(!requests.isEmpty() && requests.constLast().data == last) << "the last request did not arrive";
        if (!requests.isEmpty() && requests.constLast().data == last) {
            requests.removeLast();
            service.messages.removeLast();
        }
        return requests;
    }

    // The service's answer to a search, once the list shows it.
    void Result(const QString &data)
    {
        service.Send(peer, protocol::CMD_PHONEBOOK_RESULT, data);
        QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
        list->clear();
        // An empty answer shows as a list emptied of the row put in here.
        if (data.isEmpty())
            list->addTopLevelItem(new QTreeWidgetItem(QStringList{S(u"before the answer")}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return (list->topLevelItemCount() > 0) != data.isEmpty(); }, 10000));
    }

    // Ticks the rows at these places and copies them to the recipients.
    void Pick(const QList<int> &rows)
    {
        QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
        window->ShowPage(7);
        window->pagePhonebook->lblPhonebookClearAll_Click();
        for (int row : rows)
            list->topLevelItem(row)->setCheckState(0, Qt::Checked);
        window->HideAlert();
        QTest::mouseClick(window->lblSelect, Qt::LeftButton);
    }

    void Type(const QString &text) { QTest::keyClicks(message, text); }

    QString Counter() const { return page->lblFreeCharacters->text(); }
    bool CounterIsRed() const { return page->lblFreeCharacters->palette().color(QPalette::WindowText) == QColor(192, 0, 0); }

    void ClickSend()
    {
        window->HideAlert();
        QTest::mouseClick(window->lblSelect, Qt::LeftButton);
    }

    QString SentFolder() const { return folder.filePath(S(u"users/bob/sent")); }

    // The deciphered line of every sent copy, in file-name order.
    QStringList SentCopies() const
    {
        QStringList lines;
        const QDir sent(SentFolder());
        for (const QString &name : sent.entryList(QDir::Files, QDir::Name)) {
            QFile file(sent.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                lines << sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(QString::fromLatin1(file.readLine().trimmed())), false);
        }
        return lines;
    }

    QString AlertOf(const char *key, const char *suffix = "") const
    {
        return common::LanguageText(QLatin1String(key)) + QLatin1String(suffix);
    }

    ScriptedService service;
    QTcpSocket *peer = nullptr;
    PageNewSMS *page = nullptr;
    HeaderTextEdit *message = nullptr;
};

// Ann (contact 5), Sales (group 5), Bob Stone (contact 7).
const QString ThreeRows = S(u"5^0^Ann^^Acme^0555 111|5^1^Sales^^^|7^0^Bob^Stone^^0555 222");

} // namespace

TEST_F(Compose, TheHeaderIsTheBoldPurpleNameAndTheCounterCountsIt)
{
    EXPECT_EQ(message->PlainText(), S(u"bob:"));
    EXPECT_EQ(message->HeaderLength, 4);
    EXPECT_EQ(Counter(), S(u"4/160"));
    EXPECT_FALSE(CounterIsRed());
    QTextCursor name(message->document());
    name.setPosition(1);
    EXPECT_EQ(name.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(name.charFormat().foreground().color(), QColor(128, 0, 128));
    QTextCursor colon(message->document());
    colon.setPosition(4);
    EXPECT_NE(colon.charFormat().fontWeight(), QFont::Bold);
    EXPECT_NE(colon.charFormat().foreground().color(), QColor(128, 0, 128));
    EXPECT_EQ(message->textCursor().position(), 4);
    EXPECT_FALSE(message->textCursor().hasSelection());
}

TEST_F(Compose, CounterShowsLengthAndLimitAndTurnsRedPastIt)
{
    const struct {
        QString typed;
        QString counter;
        bool red;
    } cases[] = {
        {S(u"é"), S(u"5/70"), false},
        {QString(156, QLatin1Char('a')), S(u"160/160"), false},
        {QString(157, QLatin1Char('a')), S(u"161/160"), true},
        {QString(66, QLatin1Char('a')) + S(u"é"), S(u"71/70"), true},
        {S(u"a\nb"), S(u"7/160"), false},
        // A backtick has no place in the 7-bit alphabet: the text goes out
        // in UCS2, with its limit of 70.
        {QString(67, QLatin1Char('`')), S(u"71/70"), true},
    };
    for (const auto &c : cases) {
        window->pageNewSMS->PrepareNewSMSMessage();
        message->insertPlainText(c.typed);
        EXPECT_EQ(Counter(), c.counter) << qPrintable(c.typed);
        EXPECT_EQ(CounterIsRed(), c.red) << qPrintable(c.typed);
    }
    // A line break typed with Enter counts as one character.
    window->pageNewSMS->PrepareNewSMSMessage();
    Type(S(u"a"));
    QTest::keyClick(message, Qt::Key_Return);
    Type(S(u"b"));
    EXPECT_EQ(Counter(), S(u"7/160"));
}

TEST_F(Compose, KeysNeverChangeTheHeader)
{
    QTest::keyClick(message, Qt::Key_Backspace);
    EXPECT_EQ(message->PlainText(), S(u"bob:"));

    Type(S(u"hello"));
    // The caret inside the name: typing goes after the header.
    QTextCursor cursor = message->textCursor();
    cursor.setPosition(2);
    message->setTextCursor(cursor);
    Type(S(u"X"));
    EXPECT_EQ(message->PlainText(), S(u"bob:Xhello"));

    // A selection from inside the header replaces only its part after it.
    cursor.setPosition(1);
    cursor.setPosition(7, QTextCursor::KeepAnchor);
    message->setTextCursor(cursor);
    Type(S(u"Z"));
    EXPECT_EQ(message->PlainText(), S(u"bob:Zllo"));

    QTest::keyClick(message, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(message, Qt::Key_Delete);
    EXPECT_EQ(message->PlainText(), S(u"bob:"));
    QTest::keyClick(message, Qt::Key_Home);
    QTest::keyClick(message, Qt::Key_Delete);
    QTest::keyClick(message, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(message->PlainText(), S(u"bob:"));
    EXPECT_EQ(Counter(), S(u"4/160"));
}

TEST_F(Compose, PasteDropUndoAndInputMethodsKeepTheHeader)
{
    auto caretAt = [&](int position) {
        QTextCursor cursor = message->textCursor();
        cursor.setPosition(position);
        message->setTextCursor(cursor);
    };

    // Paste inside the name goes after the header, as plain text.
    auto *rich = new QMimeData;
    rich->setHtml(S(u"<b style='color:red'>big</b>"));
    rich->setText(S(u"big"));
    QApplication::clipboard()->setMimeData(rich);
    caretAt(1);
    message->paste();
    EXPECT_EQ(message->PlainText(), S(u"bob:big"));
    QTextCursor pasted(message->document());
    pasted.setPosition(6);
    EXPECT_NE(pasted.charFormat().fontWeight(), QFont::Bold);

    // Undo takes back what was typed, never the header.
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(message, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(message->PlainText(), S(u"bob:"));

    // An input method's text, and a replacement that reaches into the name.
    caretAt(2);
    QInputMethodEvent commit;
    commit.setCommitString(S(u"ş"));
    QApplication::sendEvent(message, &commit);
    EXPECT_EQ(message->PlainText(), S(u"bob:ş"));
    caretAt(5);
    QInputMethodEvent replace;
    replace.setCommitString(S(u"ğ"), -3, 3);
    QApplication::sendEvent(message, &replace);
    EXPECT_TRUE(message->PlainText().startsWith(S(u"bob:"))) << qPrintable(message->PlainText());

    // A drop on the name lands after the header.
    message->PutHeader(S(u"bob"));
    QMimeData dropped;
    dropped.setText(S(u"drop"));
    const QPoint onName = message->cursorRect(QTextCursor(message->document())).center() + QPoint(4, 0);
    QDragEnterEvent enter(onName, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(message->viewport(), &enter);
    QDropEvent drop(onName, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(message->viewport(), &drop);
    EXPECT_EQ(message->PlainText(), S(u"bob:drop"));
}

TEST_F(Compose, TheContextMenuCutsOnlyTheBody)
{
    Type(S(u"hello"));
    message->selectAll();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), message->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(message->viewport(), &event);
    QMenu *menu = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *shown = qobject_cast<QMenu *>(top); shown && shown->isVisible())
            menu = shown;
    ASSERT_TRUE(menu);
    QAction *cut = menu->findChild<QAction *>(S(u"edit-cut"));
    ASSERT_TRUE(cut);
    ASSERT_TRUE(cut->isEnabled());
    cut->trigger();
    menu->close();
    EXPECT_EQ(message->PlainText(), S(u"bob:"));
    EXPECT_EQ(QApplication::clipboard()->text(), S(u"hello"));
}

TEST_F(Compose, AnEditThatReachesTheHeaderAnyWayIsTakenBack)
{
    Type(S(u"hi"));
    QTextCursor cursor(message->document());
    cursor.setPosition(0);
    cursor.setPosition(2, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    EXPECT_EQ(message->PlainText(), S(u"bob:hi"));
    EXPECT_EQ(Counter(), S(u"6/160"));
}

TEST_F(Compose, TheNumberBoxTakesOnlyDigitsPlusAndComma)
{
    QLineEdit *numbers = page->txtPhoneNumber;
    QTest::keyClicks(numbers, S(u"+90 555-12,a34"));
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, S(u"é"));
    QApplication::sendEvent(numbers, &letter);
    EXPECT_EQ(numbers->text(), S(u"+9055512,34"));
    QTest::keyClick(numbers, Qt::Key_Backspace);
    QTest::keyClick(numbers, Qt::Key_Return);
    QTest::keyClick(numbers, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(numbers->text(), S(u"+9055512,3"));
    EXPECT_EQ(window->currentPage, 1);

    // Delete types no character, though X11 hands it over with DEL as its
    // text.
    numbers->setCursorPosition(0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
    QApplication::sendEvent(numbers, &del);
    EXPECT_EQ(numbers->text(), S(u"9055512,3"));
}

TEST_F(Compose, RecipientsAreListedOnceAndTheirListMovesTheMessageBox)
{
    window->ShowPage(7);
    Result(ThreeRows);
    Pick({0, 1});
    ucUFList *list = page->uflContacts;
    EXPECT_EQ(window->currentPage, 1);
    ASSERT_EQ(list->EntryCount(), 2);
    EXPECT_EQ(list->SelectionText(), S(u"5|0|5|1"));
    EXPECT_FALSE(list->isHidden());
    EXPECT_EQ(page->lblNewSMS[1]->y(), 112);
    EXPECT_EQ(message->geometry(), QRect(message->x(), 129, message->width(), 114));

    // Ann again, with Bob: Ann stays one entry.
    Pick({0, 2});
    EXPECT_EQ(list->SelectionText(), S(u"5|0|5|1|7|0"));
    EXPECT_TRUE(list->ContainsEntry(5, 1));
    EXPECT_FALSE(list->ContainsEntry(7, 1));

    // The user removes entries; with none left the list goes.
    auto removeButton = [&](int i) { return list->findChild<QToolButton *>(S(u"btnRemoveEntry(%1)").arg(i)); };
    ASSERT_TRUE(removeButton(0));
    QTest::mouseClick(removeButton(0), Qt::LeftButton);
    QTest::qWait(0);
    EXPECT_EQ(list->SelectionText(), S(u"5|1|7|0"));
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(removeButton(0), Qt::LeftButton);
        QTest::qWait(0);
    }
    EXPECT_EQ(list->EntryCount(), 0);
    EXPECT_TRUE(list->isHidden());
    EXPECT_EQ(page->lblNewSMS[1]->y(), 48);
    EXPECT_EQ(message->geometry(), QRect(message->x(), 65, message->width(), 174));

    // Nothing ticked: page 1 with the list as it was; the menu empties it.
    Pick({1});
    window->pagePhonebook->lsvPhonebook->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    Pick({});
    EXPECT_EQ(window->currentPage, 1);
    EXPECT_EQ(list->SelectionText(), S(u"5|1"));
    window->ShowPage(0);
    window->pageMenu->lblMenu_Click(1);
    EXPECT_EQ(list->EntryCount(), 0);
    EXPECT_TRUE(list->isHidden());
}

TEST_F(Compose, SendingWritesOneRequestAndOneCopyPerRecipient)
{
    window->ShowPage(7);
    Result(ThreeRows);
    Pick({0});
    page->txtPhoneNumber->insert(S(u"0555,+491"));
    Type(S(u"hi"));
    QTest::keyClick(message, Qt::Key_Return);
    Type(S(u"there"));
    ClickSend();

    const QList<protocol::Message> sent = Requests(1);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].code, protocol::CMD_SEND_SMS);
    EXPECT_EQ(sent[0].data, S(u"0555,+491^5|0^hi|there"));
    QStringList copies = SentCopies();
    ASSERT_EQ(copies.size(), 3);
    for (QString &line : copies) {
        ASSERT_TRUE(line.startsWith(S(u"bob,"))) << qPrintable(line);
        ASSERT_TRUE(line.endsWith(S(u",hi|there"))) << qPrintable(line);
        line = line.section(QLatin1Char(','), 1, 1);
    }
    copies.sort();
    EXPECT_EQ(copies, (QStringList{S(u"+491"), S(u"0555"), S(u"Ann Acme")}));
    // Typed numbers first, then the entries.
    QStringList recipients;
    for (const SmsRef &record : std::as_const(window->store.SentMessages)) {
        recipients << record->PhoneNumber();
        EXPECT_EQ(record->Message(), S(u"hi\r\nthere"));
    }
    EXPECT_EQ(recipients, (QStringList{S(u"0555"), S(u"+491"), S(u"Ann Acme")}));

    EXPECT_EQ(window->lblAlert->text(), AlertOf("sms_sent"));
    EXPECT_EQ(message->PlainText(), S(u"bob:"));
    EXPECT_TRUE(page->txtPhoneNumber->text().isEmpty());
    EXPECT_EQ(page->uflContacts->EntryCount(), 0);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Compose, TheTextTravelsWithoutCaretsAndBarsAndBreaksAsBars)
{
    const struct {
        QString body;
        QString messageText;
    } cases[] = {
        {S(u"a\nb"), S(u"a|b")},
        {S(u"x|y^z"), S(u"xyz")},
        {S(u"plain, with a comma"), S(u"plain, with a comma")},
    };
    for (const auto &c : cases) {
        page->txtPhoneNumber->setText(S(u"123"));
        message->insertPlainText(c.body);
        ClickSend();
    }
    // 160 characters, header included, go out.
    page->txtPhoneNumber->setText(S(u"123"));
    message->insertPlainText(QString(156, QLatin1Char('a')));
    ClickSend();
    const QList<protocol::Message> sent = Requests(4);
    ASSERT_EQ(sent.size(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sent[i].data, S(u"123^^") + cases[i].messageText);
    EXPECT_EQ(sent[3].data, S(u"123^^") + QString(156, QLatin1Char('a')));
}

// What may not go out is refused with its alert before anything is kept
// or sent, and the page keeps what the user wrote.
TEST_F(Compose, RefusedMessagesLeaveNothingBehind)
{
    const struct {
        QString body;
        QString numbers;
        bool entry;
        QString alert;
    } cases[] = {
        {QString(157, QLatin1Char('a')), S(u"1"), false, AlertOf("message_is_too_long", ".")},
        {QString(67, QLatin1Char('a')) + S(u"é"), S(u"1"), false, AlertOf("message_is_too_long", ".")},
        // Seven-bit by the counter, but the modem sends these as UCS2 or as
        // two septets each.
        {QString(67, QLatin1Char('`')), S(u"1"), false, AlertOf("message_is_too_long", ".")},
        {QString(67, QLatin1Char('\t')), S(u"1"), false, AlertOf("message_is_too_long", ".")},
        {QString(80, QLatin1Char('[')), S(u"1"), false, AlertOf("message_is_too_long", ".")},
        {S(u""), S(u"1"), false, AlertOf("phonenumber_or_message_is_empty", ".")},
        {S(u""), S(u""), true, AlertOf("phonenumber_or_message_is_empty", ".")},
        {S(u"hi"), S(u""), false, AlertOf("phonenumber_or_message_is_empty", ".")},
        {S(u"^|"), S(u"1"), false, AlertOf("phonenumber_or_message_is_empty", ".")},
        {S(u"Привет"), S(u"1"), false, AlertOf("message_has_unsupported_characters", ".")},
    };
    window->ShowPage(7);
    Result(ThreeRows);
    for (const auto &c : cases) {
        page->uflContacts->ClearEntries();
        if (c.entry)
            Pick({0});
        window->ShowPage(1);
        window->pageNewSMS->PrepareNewSMSMessage();
        message->insertPlainText(c.body);
        page->txtPhoneNumber->setText(c.numbers);
        ClickSend();
        EXPECT_EQ(window->lblAlert->text(), c.alert) << qPrintable(c.body);
        EXPECT_EQ(message->PlainText(), S(u"bob:") + c.body);
        EXPECT_EQ(page->txtPhoneNumber->text(), c.numbers);
        EXPECT_EQ(page->uflContacts->EntryCount(), c.entry ? 1 : 0);
    }
    EXPECT_TRUE(Requests().isEmpty());
    EXPECT_TRUE(SentCopies().isEmpty());
    EXPECT_TRUE(window->store.SentMessages.isEmpty());
}

// A request that cannot leave the client leaves no sent copies.
TEST_F(Compose, ASendThatCannotLeaveKeepsNoCopies)
{
    // More than the service can decode.
    page->txtPhoneNumber->setText(S(u"12345678901234567890,").repeated(800));
    Type(S(u"hi"));
    ClickSend();
    ASSERT_EQ(ErrorBoxes().size(), 1);
    EXPECT_TRUE(SentCopies().isEmpty());
    EXPECT_TRUE(Requests().isEmpty());
    EXPECT_EQ(message->PlainText(), S(u"bob:hi"));

    // The service went away.
    page->txtPhoneNumber->setText(S(u"123"));
    peer->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->connection->LoggedIn; }, 10000));
    ClickSend();
    ASSERT_EQ(ErrorBoxes().size(), 2);
    EXPECT_TRUE(ErrorBoxes()[1].contains(S(u"imgButton_Click"))) << qPrintable(ErrorBoxes()[1]);
    EXPECT_TRUE(SentCopies().isEmpty());
    EXPECT_TRUE(window->store.SentMessages.isEmpty());
    EXPECT_EQ(message->PlainText(), S(u"bob:hi"));
}

// A nearly full copy with many line breaks is kept whole, and a label with
// a comma does not shift the copy's fields.
TEST_F(Compose, SentCopiesKeepTheirWholeTextAndFourFields)
{
    window->ShowPage(7);
    Result(S(u"9^0^Ann^^Acme, Inc^0555"));
    Pick({0});
    QString body;
    // 140 letters and 13 line breaks: with CR LF pairs it would be 166.
    for (int line = 0; line < 14; ++line)
        body += QString(10, QLatin1Char('a' + line)) + (line < 13 ? S(u"\n") : QString());
    message->insertPlainText(body);
    ASSERT_EQ(message->PlainText().size(), 4 + 153);
    ClickSend();
    ASSERT_EQ(Requests(1).size(), 1);

    const QStringList copies = SentCopies();
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(copies[0].section(QLatin1Char(','), 1, 1), S(u"Ann Acme Inc"));
    const QStringList files = QDir(SentFolder()).entryList(QDir::Files);
    const clsSms record = GetDecryptedSMS(QDir(SentFolder()).filePath(files[0]));
    QString shown = body;
    shown.replace(QLatin1Char('\n'), S(u"\r\n"));
    EXPECT_EQ(record.Message(), shown);
    EXPECT_EQ(record.PhoneNumber(), S(u"Ann Acme Inc"));
}

TEST_F(Compose, SearchSendsTheTextAsTypedByButtonAndEnter)
{
    window->ShowPage(7);
    QLineEdit *search = window->pagePhonebook->txtPhonebookSearch;
    QTest::mouseClick(window->pagePhonebook->imgPhonebookSearchButton, Qt::LeftButton);
    QTest::keyClicks(search, S(u"  ann ^|"));
    QTest::keyClick(search, Qt::Key_Return);
    const QList<protocol::Message> sent = Requests(2);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].code, protocol::CMD_PHONEBOOK_SEARCH);
    EXPECT_EQ(sent[0].data, QString());
    EXPECT_EQ(sent[1].data, S(u"  ann ^|"));
    EXPECT_EQ(search->maxLength(), protocol::MaxDataLength);

    // An empty answer empties the list.
    Result(ThreeRows);
    Result(QString());
    EXPECT_EQ(window->pagePhonebook->lsvPhonebook->topLevelItemCount(), 0);

    // Without a connection the search is reported and the rows stay.
    Result(ThreeRows);
    peer->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->connection->LoggedIn; }, 10000));
    window->pagePhonebook->imgPhonebookSearchButton_Click();
    ASSERT_EQ(ErrorBoxes().size(), 1);
    EXPECT_TRUE(ErrorBoxes()[0].contains(S(u"imgPhonebookSearchButton_Click"))) << qPrintable(ErrorBoxes()[0]);
    EXPECT_EQ(window->pagePhonebook->lsvPhonebook->topLevelItemCount(), 3);
}

TEST_F(Compose, ResultRowsShowNamesGroupsInBoldAndSkipBrokenRecords)
{
    window->ShowPage(7);
    Result(S(u"5^0^Ann^^Acme^0555|3^1^Sales^^^|8^0^Eve^^Acme^Ltd^0555|9^0^ Cem ^ Kaya ^  ^+90"));
    QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
    ASSERT_EQ(list->topLevelItemCount(), 3);
    const struct {
        QString name, number, id, kind;
        bool bold;
    } rows[] = {
        {S(u"Ann Acme"), S(u"0555"), S(u"5"), S(u"0"), false},
        {S(u"Sales (Group)"), S(u""), S(u"3"), S(u"1"), true},
        {S(u"Cem   Kaya"), S(u"+90"), S(u"9"), S(u"0"), false},
    };
    for (int i = 0; i < 3; ++i) {
        const QTreeWidgetItem *row = list->topLevelItem(i);
        EXPECT_EQ(row->text(0), rows[i].name);
        EXPECT_EQ(row->text(1), rows[i].number);
        EXPECT_EQ(row->text(2), rows[i].id);
        EXPECT_EQ(row->text(3), rows[i].kind);
        EXPECT_EQ(row->font(0).bold(), rows[i].bold) << i;
        EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    }
    EXPECT_TRUE(list->isColumnHidden(2));
    EXPECT_TRUE(list->isColumnHidden(3));
    EXPECT_EQ(list->headerItem()->text(0), common::LanguageText(S(u"name")));

    // A kind that is no number ends the result where it stands.
    Result(S(u"5^0^Ann^^^1|6^x^Bad^^^2|7^0^Cem^^^3"));
    EXPECT_EQ(list->topLevelItemCount(), 1);
    ASSERT_EQ(ErrorBoxes().size(), 1);
    EXPECT_TRUE(ErrorBoxes()[0].contains(S(u"ExecuteCommand")));

    // So does an ID that is no 32-bit number: a row that could not be
    // copied to the recipients is never shown.
    for (const QString &id : {S(u"x"), S(u"99999999999")}) {
        Result(S(u"5^0^Ann^^^1|") + id + S(u"^0^Bad^^^2|7^0^Cem^^^3"));
        EXPECT_EQ(list->topLevelItemCount(), 1) << qPrintable(id);
    }
    EXPECT_EQ(ErrorBoxes().size(), 3);
    Pick({0});
    EXPECT_EQ(window->currentPage, 1);
    EXPECT_EQ(page->uflContacts->SelectionText(), S(u"5|0"));
}

TEST_F(Compose, TickAllUntickAllAndInvert)
{
    window->ShowPage(7);
    Result(ThreeRows);
    QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
    auto ticks = [&] {
        QString states;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            states += list->topLevelItem(i)->checkState(0) == Qt::Checked ? QLatin1Char('x') : QLatin1Char('.');
        return states;
    };
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    QTest::mouseClick(window->pagePhonebook->lblPhonebookToggle, Qt::LeftButton);
    EXPECT_EQ(ticks(), S(u"x.x"));
    QTest::mouseClick(window->pagePhonebook->lblPhonebookSelectAll, Qt::LeftButton);
    EXPECT_EQ(ticks(), S(u"xxx"));
    QTest::mouseClick(window->pagePhonebook->lblPhonebookClearAll, Qt::LeftButton);
    EXPECT_EQ(ticks(), S(u"..."));
    // Back goes to the compose page.
    window->HideAlert();
    window->imgButton_Click(3);
    EXPECT_EQ(window->currentPage, 1);
}

// Without free numbers the number box takes nothing.
TEST_F(Compose, AUserWithoutFreeNumbersCannotTypeOne)
{
    ASSERT_TRUE(LogIn(S(u"bob"), S(u"(Connected)|0")));
    window->ShowPage(1);
    QTest::keyClicks(page->txtPhoneNumber, S(u"123"));
    EXPECT_TRUE(page->txtPhoneNumber->text().isEmpty());
    EXPECT_FALSE(page->txtPhoneNumber->isEnabled());
}

// Each typed number goes to the modem as the service takes it from the
// box: one the modem cannot send to stops the send before anything is kept.
TEST_F(Compose, TypedNumbersTheModemCannotTakeStopTheSend)
{
    // Ctrl+A selects nothing in the number box: the second number is
    // typed onto the end of the first.
    QTest::keyClicks(page->txtPhoneNumber, S(u"+90555777009"));
    QTest::keyClick(page->txtPhoneNumber, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(page->txtPhoneNumber, S(u"+905557770002"));
    ASSERT_EQ(page->txtPhoneNumber->text(), S(u"+90555777009+905557770002"));
    const struct {
        QString numbers;
        bool sent;
    } cases[] = {
        {page->txtPhoneNumber->text(), false},
        {S(u"0555,+49 1"), false},
        {S(u"12"), false},
        {S(u"+"), false},
        {S(u"123456789012345678901"), false},
        {S(u"0555,0555 1"), false},
        {S(u"123"), true},
        {S(u"+905557770001,,0555"), true},
        {S(u"12345678901234567890"), true},
        {S(u" 0555 "), true},
    };
    QStringList sentData;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.numbers.toStdString());
        window->pageNewSMS->PrepareNewSMSMessage();
        message->insertPlainText(S(u"hi"));
        page->txtPhoneNumber->setText(c.numbers);
        const qsizetype copiesBefore = window->store.SentMessages.size();
        ClickSend();
        if (c.sent) {
            EXPECT_EQ(window->lblAlert->text(), AlertOf("sms_sent"));
            sentData << c.numbers + S(u"^^hi");
        } else {
            EXPECT_EQ(window->lblAlert->text(), AlertOf("phonenumber_is_not_valid", "."));
            EXPECT_EQ(page->txtPhoneNumber->text(), c.numbers);
            EXPECT_EQ(message->PlainText(), S(u"bob:hi"));
            EXPECT_EQ(window->store.SentMessages.size(), copiesBefore);
        }
    }
    const QList<protocol::Message> sent = Requests(static_cast<int>(sentData.size()));
    QStringList data;
    for (const protocol::Message &request : sent)
        data << request.data;
    EXPECT_EQ(data, sentData);
    // The empty piece between the commas still has its copy.
    EXPECT_EQ(SentCopies().size(), 1 + 3 + 1 + 1);
}

// The counter and the send judge the same text: the counter is red
// exactly for the texts that the send refuses as too long.
TEST_F(Compose, CounterAndSendAgreeOnEveryText)
{
    const QString a = S(u"a");
    const struct {
        QString body;
        QString counter;
        bool tooLong;
    } cases[] = {
        {a.repeated(156), S(u"160/160"), false},
        {a.repeated(157), S(u"161/160"), true},
        {S(u"\t") + a.repeated(65), S(u"70/70"), false},
        {S(u"\t") + a.repeated(66), S(u"71/70"), true},
        {S(u"`") + a.repeated(65), S(u"70/70"), false},
        {S(u"`") + a.repeated(66), S(u"71/70"), true},
        // "{" takes two septets; "€" goes out in UCS2.
        {S(u"{") + a.repeated(154), S(u"159/160"), false},
        {S(u"{") + a.repeated(155), S(u"160/160"), true},
        {S(u"€") + a.repeated(65), S(u"70/70"), false},
        {S(u"€") + a.repeated(66), S(u"71/70"), true},
        {S(u"€") + a.repeated(155), S(u"160/70"), true},
        {S(u"ş") + a.repeated(65), S(u"70/70"), false},
        {S(u"ğ") + a.repeated(66), S(u"71/70"), true},
        {S(u"çalışkan ılık öğün") + a.repeated(48), S(u"70/70"), false},
    };
    QStringList sentTexts;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        window->pageNewSMS->PrepareNewSMSMessage();
        message->insertPlainText(c.body);
        EXPECT_EQ(Counter(), c.counter);
        EXPECT_EQ(CounterIsRed(), c.tooLong);
        page->txtPhoneNumber->setText(S(u"123"));
        ClickSend();
        EXPECT_EQ(window->lblAlert->text(), c.tooLong ? AlertOf("message_is_too_long", ".") : AlertOf("sms_sent"));
        if (!c.tooLong)
            sentTexts << c.body;
    }
    const QList<protocol::Message> sent = Requests(static_cast<int>(sentTexts.size()));
    QStringList texts;
    for (const protocol::Message &request : sent)
        texts << request.data.section(QLatin1Char('^'), 2);
    EXPECT_EQ(texts, sentTexts);
}

// A sent copy that cannot be written is reported; the message still goes.
TEST_F(Compose, ACopyThatCannotBeWrittenIsReportedAndTheMessageStillGoes)
{
    // The sent folder is a file now: no copy can go into it.
    ASSERT_TRUE(QDir(SentFolder()).removeRecursively());
    {
        QFile blocker(SentFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    page->txtPhoneNumber->setText(S(u"123,456"));
    Type(S(u"hi"));
    ClickSend();

    const QList<protocol::Message> sent = Requests(1);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].data, S(u"123,456^^hi"));
    EXPECT_EQ(window->lblAlert->text(), AlertOf("sms_sent"));
    EXPECT_EQ(message->PlainText(), S(u"bob:"));
    EXPECT_TRUE(window->store.SentMessages.isEmpty());
    // One box for both copies; the log has an entry for each.
    ASSERT_EQ(ErrorBoxes().size(), 1);
    EXPECT_TRUE(ErrorBoxes()[0].contains(S(u"NewSMSSave"))) << qPrintable(ErrorBoxes()[0]);
    QFile log(ErrorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("frmMain-->NewSMSSave"), 2);
}

// Names show whole: a group's row spans the list, and recipient tags sit
// several to a line at their natural width, three lines without scrolling.
TEST_F(Compose, NamesShowWholeInTheResultsAndTheTags)
{
    window->ShowPage(7);
    Result(S(u"5^0^Gülşen^Doğan^^+905321234567|4^1^Satış Ekibi^^^|7^0^Ann^^^0555|8^0^Bob^^^0556|9^0^Cem^^^0557"));
    QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
    EXPECT_TRUE(list->topLevelItem(1)->isFirstColumnSpanned());
    EXPECT_FALSE(list->topLevelItem(0)->isFirstColumnSpanned());
    EXPECT_GE(list->columnWidth(1), list->fontMetrics().horizontalAdvance(S(u"+905321234567")));

    Pick({0, 1, 2, 3, 4});
    ucUFList *tags = page->uflContacts;
    const QStringList whole{S(u"Gülşen Doğan"), S(u"Satış Ekibi (Group)"), S(u"Ann"), S(u"Bob"), S(u"Cem")};
    QList<int> rows;
    for (int i = 0; i < 5; ++i) {
        const auto *label = tags->findChild<QLabel *>(S(u"lblEntry(%1)").arg(i));
        ASSERT_TRUE(label);
        EXPECT_EQ(label->text(), whole[i]);
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(whole[i])) << qPrintable(whole[i]);
        rows << label->parentWidget()->y();
    }
    const QSet<int> lines(rows.cbegin(), rows.cend());
    EXPECT_LE(lines.size(), 3) << "tags share their lines";
    auto *scroll = tags->findChild<QAbstractScrollArea *>();
    ASSERT_TRUE(scroll);
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
}
