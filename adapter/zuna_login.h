// ZUNA logins: the credential records, the password hash and the entry points
// that find the first adapter answering.
#pragma once

#include "kdr770.h"

// The adapter object made by the last findfirst; each call replaces it.
extern kdR770 *curadio;
// Status reads made while waiting for the authenticated bit; 0 means 10.
extern int AuthWait;
// The process's one password record: formed by hashpass, cleared by kdR770Nulluser.
extern tdsRidZunaPassword PasswordRecord;

// The texts that the logins take are read as characters: UTF-8 when the
// whole text is valid UTF-8, otherwise each byte one character (Latin-1).

// Forms PasswordRecord from a password's characters, each as 16-bit
// little-endian code units: 0, or 1 for more than 32 characters (the record
// is then left as it was).
int hashpass(const char *password);

// Points a fresh curadio at the first of eth0..eth4 that the driver answers;
// the interface number, or -1.
int findfirst();

// The user record of a login: the name's first 32 characters as Latin-1
// bytes, zero-padded. False when one of them has no Latin-1 byte.
bool MakeUserRecord(const char *user, tdsRidZunaUsername &record);

extern "C" {
int kdR770Authuser(const char *user, const char *password);
int kdR770Nulluser(void);
}
