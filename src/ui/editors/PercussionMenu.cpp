#include "ui/editors/PercussionMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

TPercussionMenu::TPercussionMenu(QMenuBar& Bar, std::function<void(int Instrument)> Play) : Play(std::move(Play)) {
    Drums = Bar.addMenu("Percussion");
    Drums->setObjectName("Drums");
    // The fixed items have tag 0; a binding's tag is its instrument.
    Drums->addAction("Clear All Percussion", [this] { Clear(); });
    Drums->addSeparator();
    Drums->menuAction()->setVisible(false);
}

void TPercussionMenu::Bind(const QKeySequence& Key, int Instrument) {
    Drums->menuAction()->setVisible(true);
    const auto items = Drums->actions();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        QAction* item = *it;
        const int tag = item->data().toInt();
        if (tag != 0 && (item->shortcut() == Key || tag == Instrument)) {
            Drums->removeAction(item);
            item->deleteLater();
        }
    }
    auto* item = Drums->addAction(QString::asprintf("Play Instrument #%d", Instrument));
    item->setShortcut(Key);
    item->setData(Instrument);
    QObject::connect(item, &QAction::triggered, Drums, [this, Instrument] { Play(Instrument); });
}

void TPercussionMenu::Clear() {
    for (QAction* item : Drums->actions())
        if (item->data().toInt() != 0) {
            Drums->removeAction(item);
            item->deleteLater();
        }
    Drums->menuAction()->setVisible(false);
}

std::map<int, QKeySequence> TPercussionMenu::Bindings() const {
    std::map<int, QKeySequence> out;
    for (QAction* item : Drums->actions())
        if (const int tag = item->data().toInt(); tag != 0) out[tag] = item->shortcut();
    return out;
}
