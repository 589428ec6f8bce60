#pragma once
// The "Percussion" menu: instruments bound to hot keys, one key per instrument and one instrument
// per key. Hidden until the first binding; the bindings live in the menu, not in the song.
#include <QKeySequence>

#include <functional>
#include <map>

class QAction;
class QMenu;
class QMenuBar;

class TPercussionMenu {
public:
    // Adds the menu to Bar; Play sounds an instrument when its key is pressed.
    TPercussionMenu(QMenuBar& Bar, std::function<void(int Instrument)> Play);

    QMenu* Drums;
    // Binds Key to Instrument, replacing any binding of either.
    void Bind(const QKeySequence& Key, int Instrument);
    void Clear();
    // Instrument -> key, for tests and display.
    std::map<int, QKeySequence> Bindings() const;

private:
    std::function<void(int)> Play;
};
