/* Resource ids shared by vantrel.rc (read by windres) and the C++ code.
   Plain #defines only: windres runs this through the C preprocessor and
   understands nothing else, and the code must not need <windows.h> for it. */
#ifndef VANTREL_RESOURCE_IDS_H
#define VANTREL_RESOURCE_IDS_H

/* Application icon group (RT_GROUP_ICON).  The lowest icon group id is the
   one Explorer shows for the exe. */
#define IDI_APP 1

/* The one 48x48 image of the application icon (RT_ICON), stored as a raw
   resource so that its id is fixed rather than numbered by windres. */
#define IDI_APP_IMAGE 30001

/* 32x32 and 16x16 16-colour icon group for the About window's picture. */
#define IDI_ABOUT 2

/* Pointing-hand cursor for the About window's web link. */
#define IDC_HAND_LINK 3

/* The application manifest; 1 is the id the loader looks up for an exe. */
#define IDR_MANIFEST 1

/* The version resource has to be id 1. */
#define IDV_VERSION 1

#endif /* VANTREL_RESOURCE_IDS_H */
