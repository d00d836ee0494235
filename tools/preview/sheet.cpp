// Contact sheets: a title, then a grid of cells each with its picture and a
// label band, written as PNG with Cairo; labels set with Pango in Andika.
#include "tools/preview/preview.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdint>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const int kTitleHeight = 44;
static const int kLabelHeight = 26;
static const int kGap = 6;
static const int kSheetColumns = 4;
static const int kCheckerSquare = 12;

static void cellOrigin(const PreviewSheet* sheet, int index, int* x, int* y) {
    *x = kGap + (index % sheet->columns) * (sheet->cellWidth + kGap);
    *y = kTitleHeight + (index / sheet->columns) * (sheet->cellHeight + kLabelHeight + kGap);
}

// A light checkerboard under a cell, so transparency shows.
static void paintCheckerboard(cairo_t* cr, int x, int y, int width, int height) {
    cairo_save(cr);
    cairo_rectangle(cr, x, y, width, height);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.84, 0.84, 0.86);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.66, 0.67, 0.7);
    for (int row = 0; row * kCheckerSquare < height; ++row)
        for (int col = row % 2; col * kCheckerSquare < width; col += 2)
            cairo_rectangle(cr, x + col * kCheckerSquare, y + row * kCheckerSquare, kCheckerSquare, kCheckerSquare);
    cairo_fill(cr);
    cairo_restore(cr);
}

static void drawText(cairo_t* cr, const std::string& text, const char* font, int x, int y, int width, int height) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* description = pango_font_description_from_string(font);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    int textWidth = 0, textHeight = 0;
    pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
    cairo_move_to(cr, x, y + (height - textHeight) / 2.0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

static void drawLabel(PreviewSheet* sheet, int index, const std::string& label) {
    int x, y;
    cellOrigin(sheet, index, &x, &y);
    cairo_t* cr = cairo_create(sheet->surface);
    cairo_set_source_rgb(cr, 0.18, 0.2, 0.26);
    drawText(cr, label, "Andika 11", x, y + sheet->cellHeight, sheet->cellWidth, kLabelHeight);
    cairo_destroy(cr);
}

// The decoded image as premultiplied Cairo pixels; null when SDL_image cannot decode it.
static cairo_surface_t* decodeImage(const unsigned char* bytes, int size) {
    SDL_Surface* image = IMG_Load_RW(SDL_RWFromConstMem(bytes, size), 1);
    if (!image) return nullptr;
    // One known layout whatever the file held: 32 bits, A R G B in a native word.
    SDL_Surface* argb = SDL_CreateRGBSurface(SDL_SWSURFACE, image->w, image->h, 32, 0x00FF0000u, 0x0000FF00u,
                                             0x000000FFu, 0xFF000000u);
    if (!argb) {
        SDL_FreeSurface(image);
        return nullptr;
    }
    // Without per-surface alpha the blit copies alpha rather than blending; an image without alpha comes out opaque.
    SDL_SetAlpha(image, 0, SDL_ALPHA_OPAQUE);
    if (image->format->Amask == 0) SDL_FillRect(argb, nullptr, 0xFF000000u);
    SDL_BlitSurface(image, nullptr, argb, nullptr);
    SDL_FreeSurface(image);

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, argb->w, argb->h);
    cairo_surface_flush(surface);
    unsigned char* out = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    SDL_LockSurface(argb);
    for (int row = 0; row < argb->h; ++row) {
        const uint32_t* from = (const uint32_t*)((const uint8_t*)argb->pixels + row * argb->pitch);
        uint32_t* to = (uint32_t*)(out + row * stride);
        for (int col = 0; col < argb->w; ++col) {
            uint32_t p = from[col];
            uint32_t a = p >> 24;
            uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
            to[col] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    SDL_UnlockSurface(argb);
    SDL_FreeSurface(argb);
    cairo_surface_mark_dirty(surface);
    return surface;
}

// ---------------------------------------------------------------------------
// Sheets
// ---------------------------------------------------------------------------

PreviewSheet createSheet(const std::string& title, int count, int cellWidth, int cellHeight) {
    PreviewSheet sheet = PreviewSheet();
    // A fixed width, so the title always fits and sheets of different archives line up.
    sheet.columns = kSheetColumns;
    sheet.cellWidth = cellWidth;
    sheet.cellHeight = cellHeight;
    int rows = std::max(1, (count + sheet.columns - 1) / sheet.columns);
    int width = kGap + sheet.columns * (cellWidth + kGap);
    int height = kTitleHeight + rows * (cellHeight + kLabelHeight + kGap);
    sheet.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(sheet.surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.1, 0.12, 0.2);
    drawText(cr, title, "Andika Bold 16", kGap, 0, width - 2 * kGap, kTitleHeight);
    cairo_destroy(cr);
    return sheet;
}

void addGlCell(PreviewSheet* sheet, const unsigned char* rgbaBottomUp, int rowPixels, int x, int y,
               const std::string& label) {
    int index = sheet->cellCount++;
    int sx, sy;
    cellOrigin(sheet, index, &sx, &sy);
    cairo_surface_flush(sheet->surface);
    unsigned char* out = cairo_image_surface_get_data(sheet->surface);
    int stride = cairo_image_surface_get_stride(sheet->surface);
    // GL rows count from the bottom; the cell's top row is its highest GL row.
    for (int row = 0; row < sheet->cellHeight; ++row) {
        const unsigned char* from = rgbaBottomUp + ((size_t)(y + sheet->cellHeight - 1 - row) * rowPixels + x) * 4;
        uint32_t* to = (uint32_t*)(out + (size_t)(sy + row) * stride) + sx;
        for (int col = 0; col < sheet->cellWidth; ++col, from += 4)
            to[col] = 0xFF000000u | ((uint32_t)from[0] << 16) | ((uint32_t)from[1] << 8) | from[2];
    }
    cairo_surface_mark_dirty(sheet->surface);
    drawLabel(sheet, index, label);
}

void addImageCell(PreviewSheet* sheet, const unsigned char* bytes, int size, const std::string& label) {
    int index = sheet->cellCount++;
    int x, y;
    cellOrigin(sheet, index, &x, &y);
    cairo_t* cr = cairo_create(sheet->surface);
    paintCheckerboard(cr, x, y, sheet->cellWidth, sheet->cellHeight);
    cairo_surface_t* image = decodeImage(bytes, size);
    std::string text = label;
    if (image) {
        int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
        double scale = std::min((double)sheet->cellWidth / w, (double)sheet->cellHeight / h);
        cairo_save(cr);
        cairo_translate(cr, x + (sheet->cellWidth - w * scale) / 2, y + (sheet->cellHeight - h * scale) / 2);
        cairo_scale(cr, scale, scale);
        cairo_set_source_surface(cr, image, 0, 0);
        // Small swatches are enlarged a lot: keep their pixels sharp.
        if (scale > 2) cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
        text += "  " + std::to_string(w) + "×" + std::to_string(h);
    } else {
        text += "  (does not decode)";
    }
    cairo_destroy(cr);
    drawLabel(sheet, index, text);
}

bool writeSheet(PreviewSheet* sheet, const std::string& path) {
    bool written = cairo_surface_write_to_png(sheet->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(sheet->surface);
    sheet->surface = nullptr;
    return written;
}
