#pragma once

#include <QByteArray>

namespace qb {

// A name in the target's folder to write a file under first, before it is renamed onto the
// target: short, so that a target name near the system's limit still fits, and random, so
// that it is free. Renaming replaces a link at the target instead of writing through it.
QByteArray temporaryNameBeside(const QByteArray& name);

} // namespace qb
