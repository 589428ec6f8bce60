#pragma once
// Files a project keeps besides its module: the recovery copy of unsaved work and the folder of
// instrument files that travels with a module.
#include <string>
#include <vector>

class cSequencer;

namespace brindle {

// A module file by its name: the extension .hym in any letter case.
bool IsModuleFile(const std::string& Path);

// The folder of recovery copies in the application's data folder: one per running window.
std::string RecoveryFolder();
// Writes the song to Path atomically; the song's own FileName is left as it was, so the user's
// file is never touched. Throws brindle::Error when it cannot be written.
void WriteRecoveryFile(cSequencer& Song, const std::string& Path);

// Saves the module at ModulePath and copies every instrument file into the folder beside it named
// after the module ("song.hym" -> "song/"), so the song moves to another machine as one folder.
// The song then refers to the copies. Two different files with one name both keep their sound
// (the second copy is renamed); a file already in that folder is not copied again. Returns one
// message per instrument whose file is missing (its slot keeps its old path). Throws
// brindle::Error when the module or a copy cannot be written; the module is saved last.
std::vector<std::string> SaveWithInstruments(cSequencer& Song, const std::string& ModulePath);

} // namespace brindle
