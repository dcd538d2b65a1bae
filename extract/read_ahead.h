#pragma once
// Reading ahead in solid archives. In a 7z or a compressed tar the tool
// reaches a member only by decoding everything stored before it, so one run
// per page costs a decode from the archive's start. One run over the whole
// archive serves member after member instead: its output is split by the
// listed sizes, in listing order, each member trusted only once its "x NAME"
// line has come whole. Members read before they are asked for are kept in
// memory, within a bound, until they are; each is handed over once.
//
// The pass runs only while a fetch reads it: between fetches the tool waits
// on a full pipe, holding no lock. A fetch from another archive, a listing
// afresh or the module's unload ends it, the tool with it; the tool dies
// with the host's process too, as every run does.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "extract/entry_stream.h"
#include "floor/unique_any.h"
#include "listing/listing.h"
#include "interface/settings_text.h"

namespace qibor {

class ReadAhead {
 public:
  ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  ~ReadAhead();

  // A member of the list read ahead and kept, let go to the caller; null
  // when there is none.
  UniqueLocal Take(const std::wstring& archivePath, const ArchiveList& list, std::size_t member);
  // Goes on with the pass over the list's archive up to the member, its
  // bytes into the sink, starting the pass when none runs for the list
  // (ending any other). Members read on the way are kept within the
  // settings' cacheMB. 0; 9 when the file could not be written; 6 when the
  // pass cannot give the member (it has passed it, or an entry up to it
  // failed): the member is then fetched alone.
  ResultCode Reach(const Settings& settings, const std::wstring& archivePath,
                   const std::shared_ptr<const ArchiveList>& list, std::size_t member, const EntrySink& sink);
  // Ends the pass and lets every kept member go.
  void End();
  // The module unloads: the tool is killed without a wait, and the kept
  // bytes are let go unless the process is ending.
  void Abandon(bool processEnding);

 private:
  struct Pass;
  struct State;
  ResultCode Advance(std::size_t entry, std::uint64_t keepBytes, const EntrySink& sink);
  bool StartPass(const Settings& settings, const std::wstring& archivePath,
                 const std::shared_ptr<const ArchiveList>& list);
  void Keep(std::size_t entry, UniqueLocal block, std::uint64_t keepBytes);

  // On the heap, so a process that ends can leave it there.
  std::unique_ptr<State> state_;
};

// The process's read-ahead.
ReadAhead& TheReadAhead();

}  // namespace qibor
