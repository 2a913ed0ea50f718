/* The JPEG decoder's plain C code paths: libjpeg-turbo asks these functions
 * whether a vectorised routine may stand in for its C code, and they always
 * answer no. Defined here, they keep the library's vector routines (several
 * hundred kilobytes of encoder and decoder variants) out of the program
 * image, whichever way the library was built; decoding a preview picture
 * does not need them. These are the decoder's questions of libjpeg-turbo
 * 2.1; should a newer library ask one more, its own dispatcher is linked in
 * too and the link fails on the names defined twice. */
#include <stddef.h>
#include <stdio.h>

#include <jpeglib.h>

int jsimd_can_ycc_rgb(void) {
    return 0;
}
int jsimd_can_ycc_rgb565(void) {
    return 0;
}
int jsimd_can_h2v2_upsample(void) {
    return 0;
}
int jsimd_can_h2v1_upsample(void) {
    return 0;
}
int jsimd_can_h2v2_fancy_upsample(void) {
    return 0;
}
int jsimd_can_h2v1_fancy_upsample(void) {
    return 0;
}
int jsimd_can_h2v2_merged_upsample(void) {
    return 0;
}
int jsimd_can_h2v1_merged_upsample(void) {
    return 0;
}
int jsimd_can_idct_2x2(void) {
    return 0;
}
int jsimd_can_idct_4x4(void) {
    return 0;
}
int jsimd_can_idct_islow(void) {
    return 0;
}
int jsimd_can_idct_ifast(void) {
    return 0;
}
int jsimd_can_idct_float(void) {
    return 0;
}

/* Never called: every question above is answered no. */
void jsimd_ycc_rgb_convert(j_decompress_ptr cinfo, JSAMPIMAGE input_buf, JDIMENSION input_row,
                           JSAMPARRAY output_buf, int num_rows) {
    (void)cinfo, (void)input_buf, (void)input_row, (void)output_buf, (void)num_rows;
}
void jsimd_ycc_rgb565_convert(j_decompress_ptr cinfo, JSAMPIMAGE input_buf, JDIMENSION input_row,
                              JSAMPARRAY output_buf, int num_rows) {
    (void)cinfo, (void)input_buf, (void)input_row, (void)output_buf, (void)num_rows;
}
void jsimd_h2v2_upsample(j_decompress_ptr cinfo, jpeg_component_info* compptr,
                         JSAMPARRAY input_data, JSAMPARRAY* output_data_ptr) {
    (void)cinfo, (void)compptr, (void)input_data, (void)output_data_ptr;
}
void jsimd_h2v1_upsample(j_decompress_ptr cinfo, jpeg_component_info* compptr,
                         JSAMPARRAY input_data, JSAMPARRAY* output_data_ptr) {
    (void)cinfo, (void)compptr, (void)input_data, (void)output_data_ptr;
}
void jsimd_h2v2_fancy_upsample(j_decompress_ptr cinfo, jpeg_component_info* compptr,
                               JSAMPARRAY input_data, JSAMPARRAY* output_data_ptr) {
    (void)cinfo, (void)compptr, (void)input_data, (void)output_data_ptr;
}
void jsimd_h2v1_fancy_upsample(j_decompress_ptr cinfo, jpeg_component_info* compptr,
                               JSAMPARRAY input_data, JSAMPARRAY* output_data_ptr) {
    (void)cinfo, (void)compptr, (void)input_data, (void)output_data_ptr;
}
void jsimd_h2v2_merged_upsample(j_decompress_ptr cinfo, JSAMPIMAGE input_buf,
                                JDIMENSION in_row_group_ctr, JSAMPARRAY output_buf) {
    (void)cinfo, (void)input_buf, (void)in_row_group_ctr, (void)output_buf;
}
void jsimd_h2v1_merged_upsample(j_decompress_ptr cinfo, JSAMPIMAGE input_buf,
                                JDIMENSION in_row_group_ctr, JSAMPARRAY output_buf) {
    (void)cinfo, (void)input_buf, (void)in_row_group_ctr, (void)output_buf;
}
void jsimd_idct_2x2(j_decompress_ptr cinfo, jpeg_component_info* compptr, JCOEFPTR coef_block,
                    JSAMPARRAY output_buf, JDIMENSION output_col) {
    (void)cinfo, (void)compptr, (void)coef_block, (void)output_buf, (void)output_col;
}
void jsimd_idct_4x4(j_decompress_ptr cinfo, jpeg_component_info* compptr, JCOEFPTR coef_block,
                    JSAMPARRAY output_buf, JDIMENSION output_col) {
    (void)cinfo, (void)compptr, (void)coef_block, (void)output_buf, (void)output_col;
}
void jsimd_idct_islow(j_decompress_ptr cinfo, jpeg_component_info* compptr, JCOEFPTR coef_block,
                      JSAMPARRAY output_buf, JDIMENSION output_col) {
    (void)cinfo, (void)compptr, (void)coef_block, (void)output_buf, (void)output_col;
}
void jsimd_idct_ifast(j_decompress_ptr cinfo, jpeg_component_info* compptr, JCOEFPTR coef_block,
                      JSAMPARRAY output_buf, JDIMENSION output_col) {
    (void)cinfo, (void)compptr, (void)coef_block, (void)output_buf, (void)output_col;
}
void jsimd_idct_float(j_decompress_ptr cinfo, jpeg_component_info* compptr, JCOEFPTR coef_block,
                      JSAMPARRAY output_buf, JDIMENSION output_col) {
    (void)cinfo, (void)compptr, (void)coef_block, (void)output_buf, (void)output_col;
}
