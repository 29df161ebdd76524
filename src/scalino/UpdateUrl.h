#pragma once

#include <QString>
#include <QUrl>

namespace scalino {

// The address of the version document: the process-wide property (or environment variable)
// UPDATE_URL when it is set and not empty, otherwise the address the program was built with.
QString chosenUpdateUrl();

// Whether the update check may read from this address: https to any host, or plain http to
// the local machine (127.0.0.0/8, ::1, localhost), for testing. No user name or password.
bool isPermittedUpdateUrl(const QUrl& url);

}  // namespace scalino
