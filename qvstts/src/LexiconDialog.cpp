#include <qvstts/LexiconDialog.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <qvstts/SpeechText.h>

namespace qvstts {
namespace {

// The owner arrives as an opaque handle: match it against the application's widgets rather
// than trust it as a pointer.
QWidget* findOwner(void* owner) {
    if (!owner) return nullptr;
    const auto id = reinterpret_cast<quintptr>(owner);
    for (QWidget* w : QApplication::allWidgets()) {
        if (reinterpret_cast<quintptr>(w) == id) return w->window();
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->internalWinId() != 0 && static_cast<quintptr>(w->internalWinId()) == id) return w;
    }
    return nullptr;
}

QString q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

class LexiconEditor : public QDialog {
public:
    LexiconEditor(QWidget* parent, const Lexicon& lexicon,
                  std::function<void(const std::string&)> tryOut)
        : QDialog(parent), tryOut_(std::move(tryOut)) {
        setWindowTitle(QStringLiteral("Woordenlijst"));
        setObjectName(QStringLiteral("qvsLexicon"));
        table_ = new QTableWidget(0, 2, this);
        table_->setObjectName(QStringLiteral("tblWords"));
        table_->setHorizontalHeaderLabels({QStringLiteral("Woord"), QStringLiteral("Uitspraak")});
        table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table_->verticalHeader()->setVisible(false);
        table_->setSelectionBehavior(QAbstractItemView::SelectRows);
        table_->setAccessibleName(QStringLiteral("Woorden en hun uitspraak"));
        for (const auto& e : lexicon.entries())
            addRow(q(e.word), q(e.pronunciation));

        auto* add = new QPushButton(QStringLiteral("&Toevoegen"), this);
        add->setObjectName(QStringLiteral("btAdd"));
        auto* remove = new QPushButton(QStringLiteral("&Verwijderen"), this);
        remove->setObjectName(QStringLiteral("btRemove"));
        auto* listen = new QPushButton(QStringLiteral("&Beluisteren"), this);
        listen->setObjectName(QStringLiteral("btListen"));
        connect(add, &QPushButton::clicked, this, [this] {
            addRow({}, {});
            table_->setCurrentCell(table_->rowCount() - 1, 0);
            table_->editItem(table_->item(table_->rowCount() - 1, 0));
        });
        connect(remove, &QPushButton::clicked, this, [this] {
            if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
        });
        connect(listen, &QPushButton::clicked, this, [this] { listenToCurrent(); });

        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuleren"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* side = new QVBoxLayout;
        side->addWidget(add);
        side->addWidget(remove);
        side->addWidget(listen);
        side->addStretch();
        auto* row = new QHBoxLayout;
        row->addWidget(table_);
        row->addLayout(side);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(row);
        layout->addWidget(buttons);
        resize(420, 300);
    }

    void addRow(const QString& word, const QString& said) {
        const int r = table_->rowCount();
        table_->insertRow(r);
        table_->setItem(r, 0, new QTableWidgetItem(word));
        table_->setItem(r, 1, new QTableWidgetItem(said));
    }

    Lexicon lexicon() const {
        std::vector<LexiconEntry> entries;
        for (int r = 0; r < table_->rowCount(); ++r) {
            const auto* word = table_->item(r, 0);
            const auto* said = table_->item(r, 1);
            if (!word || !said) continue;
            entries.push_back(
                {word->text().trimmed().toStdString(), said->text().trimmed().toStdString()});
        }
        return Lexicon(std::move(entries));
    }

private:
    void listenToCurrent() {
        const int r = table_->currentRow();
        if (r < 0 || !tryOut_) return;
        const auto* said = table_->item(r, 1);
        const auto* word = table_->item(r, 0);
        QString text = said ? said->text().trimmed() : QString();
        if (text.isEmpty() && word) text = word->text().trimmed();
        if (!text.isEmpty()) tryOut_(utf8ToCp1252(text.toStdString()));
    }

    QTableWidget* table_;
    std::function<void(const std::string&)> tryOut_;
};

} // namespace

LexiconResult editLexicon(void* owner, const std::filesystem::path& file,
                          const std::function<void(const std::string&)>& tryOut, Lexicon* saved) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return LexiconResult::NoApplication;
    LexiconEditor editor(findOwner(owner), Lexicon::load(file), tryOut);
    editor.setWindowModality(Qt::ApplicationModal);
    for (;;) {
        if (editor.exec() != QDialog::Accepted) return LexiconResult::Cancelled;
        Lexicon result = editor.lexicon();
        if (result.save(file)) {
            if (saved) *saved = std::move(result);
            return LexiconResult::Saved;
        }
        // Keep the user's edits: say what failed and let them try again or cancel.
        QMessageBox::warning(&editor, QStringLiteral("Woordenlijst"),
                             QStringLiteral("De woordenlijst kon niet worden opgeslagen in %1.")
                                 .arg(QString::fromStdString(file.string())));
    }
}

} // namespace qvstts
