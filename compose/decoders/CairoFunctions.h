#pragma once
// Cairo, which plays metafiles here, opened at the first metafile: with the
// font and image libraries it pulls in it would cost every start of the
// program otherwise. Calls go through Cairo().
#include "platform/LibraryFunctions.h"

#include <cairo.h>

// clang-format off
#define CAIRO_FUNCTIONS(X)                 \
    X(cairo_append_path)                   \
    X(cairo_arc)                           \
    X(cairo_arc_negative)                  \
    X(cairo_clip)                          \
    X(cairo_close_path)                    \
    X(cairo_copy_path)                     \
    X(cairo_copy_path_flat)                \
    X(cairo_create)                        \
    X(cairo_curve_to)                      \
    X(cairo_destroy)                       \
    X(cairo_fill)                          \
    X(cairo_fill_preserve)                 \
    X(cairo_font_extents)                  \
    X(cairo_font_options_create)           \
    X(cairo_font_options_destroy)          \
    X(cairo_font_options_set_antialias)    \
    X(cairo_font_options_set_hint_metrics) \
    X(cairo_get_source)                    \
    X(cairo_has_current_point)             \
    X(cairo_identity_matrix)               \
    X(cairo_image_surface_create)          \
    X(cairo_image_surface_get_data)        \
    X(cairo_image_surface_get_format)      \
    X(cairo_image_surface_get_height)      \
    X(cairo_image_surface_get_stride)      \
    X(cairo_image_surface_get_width)       \
    X(cairo_line_to)                       \
    X(cairo_matrix_init)                   \
    X(cairo_matrix_init_identity)          \
    X(cairo_matrix_init_translate)         \
    X(cairo_matrix_multiply)               \
    X(cairo_matrix_scale)                  \
    X(cairo_matrix_transform_distance)     \
    X(cairo_matrix_transform_point)        \
    X(cairo_matrix_translate)              \
    X(cairo_move_to)                       \
    X(cairo_new_path)                      \
    X(cairo_new_sub_path)                  \
    X(cairo_path_destroy)                  \
    X(cairo_path_extents)                  \
    X(cairo_pattern_create_for_surface)    \
    X(cairo_pattern_destroy)               \
    X(cairo_pattern_get_surface)           \
    X(cairo_pattern_set_extend)            \
    X(cairo_pattern_set_filter)            \
    X(cairo_pop_group)                     \
    X(cairo_push_group_with_content)       \
    X(cairo_rectangle)                     \
    X(cairo_reset_clip)                    \
    X(cairo_restore)                       \
    X(cairo_rotate)                        \
    X(cairo_save)                          \
    X(cairo_scale)                         \
    X(cairo_select_font_face)              \
    X(cairo_set_antialias)                 \
    X(cairo_set_dash)                      \
    X(cairo_set_fill_rule)                 \
    X(cairo_set_font_options)              \
    X(cairo_set_font_size)                 \
    X(cairo_set_line_cap)                  \
    X(cairo_set_line_join)                 \
    X(cairo_set_line_width)                \
    X(cairo_set_matrix)                    \
    X(cairo_set_source)                    \
    X(cairo_set_source_rgb)                \
    X(cairo_set_source_surface)            \
    X(cairo_show_text)                     \
    X(cairo_stroke)                        \
    X(cairo_surface_destroy)               \
    X(cairo_surface_flush)                 \
    X(cairo_surface_get_device_offset)     \
    X(cairo_surface_get_type)              \
    X(cairo_surface_mark_dirty)            \
    X(cairo_surface_status)                \
    X(cairo_text_extents)                  \
    X(cairo_text_path)                     \
    X(cairo_translate)
// clang-format on

struct CairoFunctions {
    ZENKS_LIBRARY_FUNCTIONS(CAIRO_FUNCTIONS)
};

// Null when the system lacks the library.
const CairoFunctions* CairoLibrary();
// The loaded table: only once CairoLibrary() has found it.
inline const CairoFunctions& Cairo() {
    return *CairoLibrary();
}
// The library opened instead of Cairo's own; only before the first metafile.
void SetCairoLibraryForTesting(const char* fileName);
