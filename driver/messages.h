// Every line the tool prints.  Other programs read these: keep them
// byte for byte.
#ifndef QUORRAL_MESSAGES_H
#define QUORRAL_MESSAGES_H

#define MSG_USAGE " usage: quorral im [roifile] l|r seedvroi\n"
#define MSG_SIDE "%s: wrong side, expecting l/r instead of %s\n"
#define MSG_HEADER "%s: can't read header file: %s\n"
#define MSG_WIDTH "%s: error, image %s is not in 2 bytes/pixel format: %d\n"
#define MSG_VOLUME "Can't malloc volume\n"
#define MSG_ROIBUF "Can't malloc roibuf\n"
#define MSG_SLICE "can't read image %s slice: %d\n"
#define MSG_ROIHEADER "%s: getheader: error #%d  file:%s\n"
#define MSG_ROISIZE "%s: incompatible images %s and %s\n"
#define MSG_ROIWIDTH "%s: bytes/pixel = %d in ROI file %s\n"
#define MSG_ROISLICE "%s: getslice1: error#%d file %s\n"
#define MSG_ROIEMPTY "%s: empty ROI in file %s\n"
#define MSG_SEED "%s: seed found at x=%d  y=%d  z=%d  meas=%lf\n"
#define MSG_VROI "%s: can't write seed box file %s\n"

// Exit statuses: 1 for the command line and the image header, -1 (255)
// for memory, image data, the mask and the seed box file.
enum { ex_ok = 0, ex_usage = 1, ex_fail = -1 };

#endif
