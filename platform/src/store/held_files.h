// The files of the databases this process holds open through the store: each database
// with its write-ahead log, shared memory and rollback journal, known by device and inode.
//
// SQLite's locks are POSIX record locks, which the kernel drops for the whole process when
// any descriptor of the file is closed in it. So no part of the process may open and close
// one of these files by itself: the file layer asks here first. While the process holds a
// connection to a database, the database's files keep their inodes (no other process
// removes a log or a shared-memory file that a live connection uses), so the identities
// taken when connections open stay true until the last one closes.
#pragma once

#include <sys/stat.h>

#include <string_view>

namespace win::store {

// Called by the store as its connections open, are handed back and close.
void NoteOpened(std::string_view database);
void NoteReturned(std::string_view database);
void NoteClosed(std::string_view database);

// True while the process holds any connection; costs no system call.
bool HoldsDatabases();
// True when the entry is, by device and inode, a file of a database the process holds.
bool IsHeldDatabaseFile(const struct stat& entry);

// A database's files beside it: the database, its log, shared memory and journal.
inline constexpr std::string_view kDatabaseFileSuffixes[] = {"", "-wal", "-shm", "-journal"};

}  // namespace win::store
