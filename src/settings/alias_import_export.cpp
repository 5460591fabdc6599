// Export of the alias grid to a comma-separated text file and import of such a file through
// the Add button's logic. The file is 8-bit text, one "alias,target" line per alias, with no
// header and no quoting; its bytes are taken and written as they are. An imported file is
// untrusted: any bytes and any line length go through the same checks as typed text.
#include "settings/alias_import_export.h"

#include <chrono>
#include <optional>

#include "common/sorted_string_list.h"
#include "common/text_lines.h"
#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/vcl.h"
#include "settings/alias_check.h"
#include "settings/options_dlg.h"
#include "settings/pop_dlg.h"

namespace vrel {
namespace {

// The import's append option, from the options dialog's control at this moment.
bool AppendAliases() {
    return OptionsDlg && OptionsDlg->ImportCheckBox->isChecked();
}

// Shows the import's progress: the window repainted with the line being added and the grid
// brought to its newest row, at most every 50 ms, so a long file costs the adds and not
// thousands of whole-window paints and grid scrolls. The grid does not follow each added row
// on its own while the painter lives.
class ProgressPainter {
  public:
    ProgressPainter(QWidget& window, TStringGrid& grid) : window_(window), grid_(grid) {
        grid_.setAutoScroll(false);
    }
    ProgressPainter(const ProgressPainter&) = delete;
    ProgressPainter& operator=(const ProgressPainter&) = delete;
    ~ProgressPainter() { grid_.setAutoScroll(true); }

    void Line() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(50)) return;
        grid_.scrollTo(grid_.currentIndex());
        window_.repaint();
        last_ = now;
    }

  private:
    QWidget& window_;
    TStringGrid& grid_;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

std::vector<std::string> TextLines(std::string_view text) {
    const std::vector<std::string_view> lines = SplitTextLines(text.substr(0, text.find('\0')));
    return {lines.begin(), lines.end()};
}

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
    const std::size_t dot = path.find_last_of(".\\:");
    const std::size_t stem = dot != std::string_view::npos && path[dot] == '.' ? dot : path.size();
    return std::string(path.substr(0, stem)) + std::string(extension);
}

std::string AliasFileText(const TStringGrid& grid) {
    std::string text;
    for (int row = 1; row <= grid.RowCount() - 2; ++row) {
        text += grid.Cell(kAliasCol, row) + "," + grid.Cell(kUserCol, row) + "\r\n";
    }
    return text;
}

void TPopDlg::AliasExportButtonClick() {
    if (!AliasSaveDialog.Execute()) return;
    const std::string& path = AliasSaveDialog.FileName;
    if (win::FileExists(path)) {
        if (win::MessageDlg("Overwrite existing file?", win::mtConfirmation, win::mbYes | win::mbNo,
                            0) != win::mrYes) {
            return;
        }
        // A backup of that name already there keeps the old file from moving; it is then
        // overwritten, as the user agreed.
        win::MoveFile(path, ChangeFileExt(path, ".BAK"));
    }
    const vcl::THourGlass hourGlass;
    win::WriteWholeFile(path, AliasFileText(*AliasStringGrid));
}

void TPopDlg::AliasImportButtonClick() {
    if (!AliasOpenDialog.Execute()) return AliasTabShow();
    {
        const vcl::THourGlass hourGlass;
        const std::string& path = AliasOpenDialog.FileName;
        const std::optional<std::string> text = win::ReadWholeFile(path);
        if (!text) throw win::EFOpenError(path);
        const std::vector<std::string> lines = TextLines(*text);
        TStringGrid& grid = *AliasStringGrid;
        if (!AppendAliases()) {
            for (int row = grid.RowCount() - 2; row >= 1; --row) {
                grid.SetRow(row);
                deleteAlias();
            }
        }
        {
            // The group is read once for the run, not once per line.
            std::optional<SortedStringList> mailUsers;
            ProgressPainter progress(*this, grid);
            for (const std::string& line : lines) {
                const std::size_t comma = line.find(',');
                SetEditText(*AliasEdit, comma == std::string::npos
                                            ? std::string_view()
                                            : std::string_view(line).substr(0, comma));
                SetEditText(*AliasMapToEdit, comma == std::string::npos
                                                 ? std::string_view(line)
                                                 : std::string_view(line).substr(comma + 1));
                progress.Line();
                AddAliasFromEdits(&mailUsers);
            }
        }
        grid.SetRow(1);
        SetAliasHeader(grid);
        sortAscending = false;
    }
    AliasTabShow();
}

}  // namespace vrel
