// Mail users: the Windows accounts that are members of the mail users group of the account
// authority (the local computer, or an NT domain when the settings say so), and the user
// part of an e-mail address.
//
// Called by the message agent (is a recipient a mail user), the POP3 service (has a logged-on
// account a mailbox) and the settings program (pickers, alias checks, the setup wizard).
// Every call asks the account directory afresh; nothing is cached. A failing directory call
// is silent: the empty text or an empty list. A registry value of the wrong type raises the
// registry's error to the caller. Addresses come from the network and are only scanned.
#pragma once

#include <string>
#include <string_view>

#include "common/sorted_string_list.h"

namespace vrel {

// The computer's name and its domain (or workgroup) from the WinNT system information.
std::string GetLocalComputerName();
std::string GetLocalDomainName();

// The local computer's name; with "UserAuthentication" 1 the domain that
// "NTDomainLogonServer" names (as stored, also when empty), or the computer's own domain
// when that value is absent.
std::string GetAccountAuthority();

// The user accounts directly in the mail users group; groups inside it are not expanded.
SortedStringList GetEmailUsers();
// The groups of the authority. Relies on the calling thread's COM (the settings program's
// main thread); the other routines initialise their own.
SortedStringList GetAccountGroups();

// The user part of an address: the text before the first "@" of the word that holds the
// last "@" ("<bob@x>" gives bob, "a%b@relay" b, "host!bob@x" bob); empty without an "@".
std::string GetUserFromAddress(std::string_view address);

// True when the name (ignoring case) is one of GetEmailUsers.
bool IsEmailUser(std::string_view name);

}  // namespace vrel
