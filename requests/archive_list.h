#pragma once
// The step every listing, lookup and cache-missing fetch shares: reading an
// archive's member list afresh with the tool, with what the cache keeps
// beside it, and the identity check that lets a later fetch trust it.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "floor/unique_any.h"
#include "interface/records.h"
#include "listing/compact_list.h"
#include "requests/request.h"

namespace qibor {

// The archive file's identity and the settings a list is made with.
ListOrigin OriginOf(HANDLE archive, const Settings& settings);
// Its parts that are quick to read: the size, the last write and the
// settings. Not `known` until AddFileIdentity has added the rest.
ListOrigin QuickOriginOf(HANDLE archive, const Settings& settings);
// Adds the volume serial and file index. They cannot change while the handle
// is open, and reading them is slow (under Wine it asks the mount manager),
// so it is done while a tool run goes. False when they cannot be read.
bool AddFileIdentity(HANDLE archive, ListOrigin& origin);

// A list read afresh: the host's records, and the cache's compact copy of
// them with the tool's paths of its kept members and where the list came
// from. `compact` is never null.
struct FreshList {
  UniqueLocal records;
  std::unique_ptr<CompactList> compact;
};

// Checks the archive (at least 8 bytes from `offset`, a tool to read it),
// lists it with two tool runs, which also judge whether it is an archive
// qibor takes, and notes its identity. 0; 2 when it is no archive qibor
// takes or there is no tool; 4 when memory ran out; 6 when it cannot be
// read or its path does not fit.
ResultCode ListAfresh(const Request& request, const std::wstring& archivePath, std::int64_t offset,
                      FreshList& out);

// Keeps a copy of the list in the process's cache, for the fetches that follow.
void KeepInCache(const std::wstring& archivePath, FreshList& list);

}  // namespace qibor
