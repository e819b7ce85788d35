#pragma once

#include <QString>
#include <functional>

namespace kc {

// Whether something that blocks a name exists at a path. Folders do not block a name.
using FileExistsFn = std::function<bool(const QString &path)>;

// The fast split's output: folder + the input's name without its extension + "_new" +
// extension, or, while such a file exists, "_new0", "_new1", ... The extension is the
// input's text from its last "." when that dot lies in the file name, not in a folder.
// outputFolder already ends with "/". Without fileExists the file system is asked.
QString FastSplitOutputPath(const QString &inputPath, const QString &outputFolder,
                            const FileExistsFn &fileExists = FileExistsFn());

} // namespace kc
