// Printing a drawing: the sheet at 1:1 on paper of the sheet's size (its
// centre on the paper's centre, as the drawing's paper millimetres are
// centred on the sheet), or the sheet fitted to the paper chosen, in the
// printer colours on white, with the layers shown in the window.
#pragma once

#include <QPrinter>

#include "paint/scene_index.h"
#include "viewer/dialogs.h"
#include "viewer/document.h"

// The sheet's size in millimetres, landscape; the drawing's own extents
// for a sheet number that names no sheet.
QSizeF SheetMillimetres(const TDrawingDocument& doc, bool* known = nullptr);

// Sets the printer up for a fit: for 1:1 the paper of the sheet's size,
// landscape, without margins; a resolution that keeps the page's pixels
// within bounds either way.
void SetUpPrinter(QPrinter& printer, const TDrawingDocument& doc, TPrintFit fit);

// Paints the one page. False when the printer could not be started.
bool PaintPage(QPrinter& printer, TDrawingDocument& doc, const quorvex::TLayerShow& shown, TPrintFit fit);
