#pragma once

#include "crypto/cert_store.h"

// The fuzzers' fixed key and certificate: the public example pair of RFC 4491, signer and
// recipient of the seed receipts. Installed once, with its key, into the store "My" of a
// temporary profile that lives as long as the process.
const telva::crypto::CertCollection& fixedStores();
// The same certificate as the fund's own, in its own process: installed without its key into
// the store "Root", so that a receipt it signed is taken to the signature check. Not for use
// beside fixedStores(), which holds the key.
const telva::crypto::CertCollection& fundStores();
// A moment inside the fixed certificate's validity, for checks of receipts that carry no time.
QDateTime fixedCertValidAt();

// Points HOME and the XDG folders at a temporary folder, once, so that nothing a target
// writes lands in the user's profile; the folder's path.
QString fuzzProfile();
