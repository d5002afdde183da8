// Rows of the ten feature-kind chains (see com/CAPElementRows.h). Each tests its own model
// class only.

// IAPPinFeature
AP_METHOD(DefinePinFeatureImplicit, (double ax, double ay, double az, double dx, double dy, double dz, double radius, double height, double baseLength, double baseWidth, double baseDepth), AP_TRY(APPinFeature), AP_NOTIFY(IAPPinFeature), m->DefineImplicit(ax, ay, az, dx, dy, dz, radius, height, baseLength, baseWidth, baseDepth))
AP_METHOD(GetPinFeatureRadius, (double* radius), AP_TRY(APPinFeature), AP_QUIET, m->GetRadius(radius))
AP_METHOD(GetPinFeatureHeight, (double* height), AP_TRY(APPinFeature), AP_QUIET, m->GetHeight(height))
AP_METHOD(GetPinFeatureDirection, (double* x, double* y, double* z), AP_TRY(APPinFeature), AP_QUIET, m->GetDirection(x, y, z))
AP_METHOD(GetPinFeatureAnchorPoint, (double* x, double* y, double* z), AP_TRY(APPinFeature), AP_QUIET, m->GetAnchorPoint(x, y, z))

// IAPHoleFeature
AP_METHOD(DefineHoleFeatureImplicit, (double ax, double ay, double az, double dx, double dy, double dz, double radius, double height, double baseLength, double baseWidth, double baseDepth), AP_TRY(APHoleFeature), AP_NOTIFY(IAPHoleFeature), m->DefineImplicit(ax, ay, az, dx, dy, dz, radius, height, baseLength, baseWidth, baseDepth))
AP_METHOD(GetHoleFeatureRadius, (double* radius), AP_TRY(APHoleFeature), AP_QUIET, m->GetRadius(radius))
AP_METHOD(GetHoleFeatureHeight, (double* height), AP_TRY(APHoleFeature), AP_QUIET, m->GetHeight(height))
AP_METHOD(GetHoleFeatureDirection, (double* x, double* y, double* z), AP_TRY(APHoleFeature), AP_QUIET, m->GetDirection(x, y, z))
AP_METHOD(GetHoleFeatureAnchorPoint, (double* x, double* y, double* z), AP_TRY(APHoleFeature), AP_QUIET, m->GetAnchorPoint(x, y, z))

// IAPTaperedPinFeature
AP_METHOD(DefineTaperedPinImplicit, (double anchorX, double anchorY, double anchorZ, double dirX, double dirY, double dirZ, double radius, double height, double DraftAngle, double Height2, double baseLength, double baseWidth, double baseDepth), AP_TRY(APTaperedPinFeature), AP_NOTIFY(IAPTaperedPinFeature), m->DefineImplicit(anchorX, anchorY, anchorZ, dirX, dirY, dirZ, radius, height, DraftAngle, Height2, baseLength, baseWidth, baseDepth))
AP_METHOD(GetTaperedPinRadius, (double* radius), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetRadius(radius))
AP_METHOD(GetTaperedPinHeight, (double* height), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetHeight(height))
AP_METHOD(GetTaperedPinDirection, (double* dirX, double* dirY, double* dirZ), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetDirection(dirX, dirY, dirZ))
AP_METHOD(GetTaperedPinAnchorPoint, (double* anchorX, double* anchorY, double* anchorZ), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetAnchorPoint(anchorX, anchorY, anchorZ))
AP_METHOD(GetTaperedPinDraftAngle, (double* DraftAngle), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetDraftAngle(DraftAngle))
AP_METHOD(GetTaperedPinHeight2, (double* Height2), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetHeight2(Height2))
AP_METHOD(SetTaperedPinUIParameters, (double InputValue, APTaperParameterSel ParameterSel), AP_TRY(APTaperedPinFeature), AP_QUIET, m->SetUIParameters(InputValue, ParameterSel))
AP_METHOD(GetTaperedPinUIParameters, (double* InputValue, APTaperParameterSel* ParameterSel), AP_TRY(APTaperedPinFeature), AP_QUIET, m->GetUIParameters(InputValue, ParameterSel))

// IAPTaperedHoleFeature
AP_METHOD(DefineTaperedHoleImplicit, (double anchorX, double anchorY, double anchorZ, double dirX, double dirY, double dirZ, double radius, double height, double DraftAngle, double Height2, double baseLength, double baseWidth, double baseDepth), AP_TRY(APTaperedHoleFeature), AP_NOTIFY(IAPTaperedHoleFeature), m->DefineImplicit(anchorX, anchorY, anchorZ, dirX, dirY, dirZ, radius, height, DraftAngle, Height2, baseLength, baseWidth, baseDepth))
AP_METHOD(GetTaperedHoleRadius, (double* radius), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetRadius(radius))
AP_METHOD(GetTaperedHoleHeight, (double* height), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetHeight(height))
AP_METHOD(GetTaperedHoleDirection, (double* dirX, double* dirY, double* dirZ), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetDirection(dirX, dirY, dirZ))
AP_METHOD(GetTaperedHoleAnchorPoint, (double* anchorX, double* anchorY, double* anchorZ), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetAnchorPoint(anchorX, anchorY, anchorZ))
AP_METHOD(GetTaperedHoleDraftAngle, (double* DraftAngle), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetDraftAngle(DraftAngle))
AP_METHOD(GetTaperedHoleHeight2, (double* Height2), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetHeight2(Height2))
AP_METHOD(SetTaperedHoleUIParameters, (double InputValue, APTaperParameterSel ParameterSel), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->SetUIParameters(InputValue, ParameterSel))
AP_METHOD(GetTaperedHoleUIParameters, (double* InputValue, APTaperParameterSel* ParameterSel), AP_TRY(APTaperedHoleFeature), AP_QUIET, m->GetUIParameters(InputValue, ParameterSel))

// IAPSlotFeature
AP_METHOD(DefineSlotFeatureImplicit, (double ax, double ay, double az, double d1x, double d1y, double d1z, double d2x, double d2y, double d2z, double firstSize, double secondSize, double thirdSize), AP_TRY(APSlotFeature), AP_NOTIFY(IAPSlotFeature), m->DefineImplicit(ax, ay, az, d1x, d1y, d1z, d2x, d2y, d2z, firstSize, secondSize, thirdSize))
AP_METHOD(GetSlotFeatureDirection, (double* x, double* y, double* z), AP_TRY(APSlotFeature), AP_QUIET, m->GetDirection(x, y, z))
AP_METHOD(GetSlotFeatureSecondDirection, (double* x, double* y, double* z), AP_TRY(APSlotFeature), AP_QUIET, m->GetSecondDirection(x, y, z))
AP_METHOD(GetSlotFeatureAnchorPoint, (double* x, double* y, double* z), AP_TRY(APSlotFeature), AP_QUIET, m->GetAnchorPoint(x, y, z))
AP_METHOD(GetSlotFeatureDimensions, (double* first, double* second, double* third), AP_TRY(APSlotFeature), AP_QUIET, m->GetDimensions(first, second, third))
AP_METHOD(GetSlotFeatureFaceEdgePoints, (int face, int samples, double* points, int* count), AP_TRY(APSlotFeature), AP_QUIET, m->GetFaceEdgePoints(face, samples, points, count))
AP_METHOD(GetSlotFeatureNumFaceEdges, (int face, int* count), AP_TRY(APSlotFeature), AP_QUIET, m->GetNumFaceEdges(face, count))

// IAPTabFeature
AP_METHOD(DefineTabFeatureImplicit, (double ax, double ay, double az, double d1x, double d1y, double d1z, double d2x, double d2y, double d2z, double firstSize, double secondSize, double thirdSize, double extra1, double extra2, double extra3), AP_TRY(APTabFeature), AP_NOTIFY(IAPTabFeature), m->DefineImplicit(ax, ay, az, d1x, d1y, d1z, d2x, d2y, d2z, firstSize, secondSize, thirdSize, extra1, extra2, extra3))
AP_METHOD(GetTabFeatureDirection, (double* x, double* y, double* z), AP_TRY(APTabFeature), AP_QUIET, m->GetDirection(x, y, z))
AP_METHOD(GetTabFeatureSecondDirection, (double* x, double* y, double* z), AP_TRY(APTabFeature), AP_QUIET, m->GetSecondDirection(x, y, z))
AP_METHOD(GetTabFeatureAnchorPoint, (double* x, double* y, double* z), AP_TRY(APTabFeature), AP_QUIET, m->GetAnchorPoint(x, y, z))
AP_METHOD(GetTabFeatureDimensions, (double* first, double* second, double* third), AP_TRY(APTabFeature), AP_QUIET, m->GetDimensions(first, second, third))
AP_METHOD(GetTabFeatureFaceEdgePoints, (int face, int samples, double* points, int* count), AP_TRY(APTabFeature), AP_QUIET, m->GetFaceEdgePoints(face, samples, points, count))
AP_METHOD(GetTabFeatureNumFaceEdges, (int face, int* count), AP_TRY(APTabFeature), AP_QUIET, m->GetNumFaceEdges(face, count))

// IAPPlaneFeature
AP_METHOD(DefinePlaneImplicit, (double cx, double cy, double cz, double nx, double ny, double nz, double extent1, double extent2), AP_TRY(APPlaneFeature), AP_NOTIFY(IAPPlaneFeature), m->DefinePlaneImplicit(cx, cy, cz, nx, ny, nz, extent1, extent2))
AP_METHOD(DefinePlaneByPoints, (double* points, int count, double* normal), AP_TRY(APPlaneFeature), AP_NOTIFY(IAPPlaneFeature), m->DefinePlaneByPoints(points, count, normal))
AP_METHOD(GetNormal, (double* x, double* y, double* z), AP_TRY(APPlaneFeature), AP_QUIET, m->GetNormal(x, y, z))
AP_METHOD(GetCentroid, (double* x, double* y, double* z), AP_TRY(APPlaneFeature), AP_QUIET, m->GetCentroid(x, y, z))
AP_METHOD(GetExtent, (double* extent1, double* extent2), AP_TRY(APPlaneFeature), AP_QUIET, m->GetExtent(extent1, extent2))
AP_METHOD(GetPlaneFeaturePartBoundaryPoints, (int samples, double* points, int* count), AP_TRY(APPlaneFeature), AP_QUIET, m->GetPartBoundaryPoints(samples, points, count))
AP_METHOD(GetPlaneFeatureNumBoundaryEdges, (int* count), AP_TRY(APPlaneFeature), AP_QUIET, m->GetNumBoundaryEdges(count))
// IAPPlaneFeature2
AP_METHOD(GetNormalSense, (int* sense), AP_TRY(APPlaneFeature), AP_QUIET, m->GetNormalSense(sense))
AP_METHOD(SetNormalSensePositive, (), AP_TRY(APPlaneFeature), AP_QUIET, m->SetNormalSensePositive())
AP_METHOD(SetNormalSenseNegative, (), AP_TRY(APPlaneFeature), AP_QUIET, m->SetNormalSenseNegative())
// IAPPlaneFeature3
AP_METHOD(GetPlaneFeatureNumGeometryParts, (int* count), AP_TRY(APPlaneFeature), AP_QUIET, m->GetNumGeometryParts(count))
AP_METHOD(GetPlaneFeatureBoundaryPoints, (int parts, int samples, double* points, int* count), AP_TRY(APPlaneFeature), AP_QUIET, m->GetBoundaryPoints(parts, samples, points, count))
AP_METHOD(GetPlaneFeatureNumPartBoundaryEdges, (int part, int* count), AP_TRY(APPlaneFeature), AP_QUIET, m->GetNumPartBoundaryEdges(part, count))
// IAPPlaneFeature4
AP_METHOD(GetReferenceDirection, (double* x, double* y, double* z), AP_TRY(APPlaneFeature), AP_QUIET, m->GetReferenceDirection(x, y, z))
AP_METHOD(GetPartCentroids, (int count, double* points), AP_TRY(APPlaneFeature), AP_QUIET, m->GetPartCentroids(count, points))

// IAPPointFeature
AP_METHOD(DefinePointImplicit, (double pX, double pY, double pZ, double dirX, double dirY, double dirZ, double size), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->DefinePointImplicit(pX, pY, pZ, dirX, dirY, dirZ, size))
AP_METHOD(GetPointDirection, (double* dirX, double* dirY, double* dirZ), AP_TRY(APPointFeature), AP_QUIET, m->GetPointDirection(dirX, dirY, dirZ))
AP_METHOD(GetPoint, (double* pX, double* pY, double* pZ), AP_TRY(APPointFeature), AP_QUIET, m->GetPoint(pX, pY, pZ))
AP_METHOD(GetPointSize, (double* size), AP_TRY(APPointFeature), AP_QUIET, m->GetPointSize(size))
// IAPPointFeature2: the distribution methods without the Pearson flag pass 0 and drop it.
AP_METHOD(SetPtSizeDistributionValues, (double mean, double std, double dSkew, double dKurt, int numSamples, double* pdVals), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPointSizeDistributionValues2(mean, std, dSkew, dKurt, 0, numSamples, pdVals))
AP_METHOD(SetPtFormDistributionValues, (double mean, double std, double dSkew, double dKurt, int numSamples, double* pdVals), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPointFormDistributionValues2(mean, std, dSkew, dKurt, 0, numSamples, pdVals))
AP_METHOD(SetPtLocOrtDistributionValues, (double mean, double std, double dSkew, double dKurt, int numSamples, double* pdVals), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPointLocOrtDistributionValues2(mean, std, dSkew, dKurt, 0, numSamples, pdVals))
AP_METHOD(SetPtLocOrtMinorAxisDistributionValues, (double mean, double std, double dSkew, double dKurt, double* pdVals, double dMajorAxis[3], double dMinorAxis[3]), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPtLocOrtMinorAxisDistributionValues(mean, std, dSkew, dKurt, pdVals, dMajorAxis, dMinorAxis))
AP_METHOD(GetPtSizeDistributionValues, (double* mean, double* std, double* dSkew, double* dKurt, int* numSamples, double** ppdVals), AP_TRY(APPointFeature), AP_QUIET, [&] { long pearson = 0; return m->GetPointSizeDistributionValues2(mean, std, dSkew, dKurt, &pearson, numSamples, ppdVals); }())
AP_METHOD(GetPtFormDistributionValues, (double* mean, double* std, double* dSkew, double* dKurt, int* numSamples, double** ppdVals), AP_TRY(APPointFeature), AP_QUIET, [&] { long pearson = 0; return m->GetPointFormDistributionValues2(mean, std, dSkew, dKurt, &pearson, numSamples, ppdVals); }())
AP_METHOD(GetPtLocOrtDistributionValues, (double* mean, double* std, double* dSkew, double* dKurt, int* numSamples, double** ppdVals), AP_TRY(APPointFeature), AP_QUIET, [&] { long pearson = 0; return m->GetPointLocOrtDistributionValues2(mean, std, dSkew, dKurt, &pearson, numSamples, ppdVals); }())
AP_METHOD(GetPtLocOrtMinorAxisDistributionValues, (double* mean, double* std, double* dSkew, double* dKurt, double** ppdVals, double dMajorAxis[3], double dMinorAxis[3]), AP_TRY(APPointFeature), AP_QUIET, m->GetPtLocOrtMinorAxisDistributionValues(mean, std, dSkew, dKurt, ppdVals, dMajorAxis, dMinorAxis))
AP_METHOD(SetSizeXmlFileAndMeasurementName, (unsigned char* file, unsigned char* measurement, LONG modTime), AP_TRY(APPointFeature), AP_QUIET, m->SetSizeXmlFileAndMeasurementName(InString(file), InString(measurement), modTime))
AP_METHOD(GetSizeXmlFileAndMeasurementName, (unsigned char* file, unsigned char* measurement, LONG* modTime), AP_TRY(APPointFeature), AP_QUIET, CopyOutPair(file, measurement, [&](CString& f, CString& n) { return m->GetSizeXmlFileAndMeasurementName(f, n, modTime); }))
AP_METHOD(SetFormXmlFileAndMeasurementName, (unsigned char* file, unsigned char* measurement, LONG modTime), AP_TRY(APPointFeature), AP_QUIET, m->SetFormXmlFileAndMeasurementName(InString(file), InString(measurement), modTime))
AP_METHOD(GetFormXmlFileAndMeasurementName, (unsigned char* file, unsigned char* measurement, LONG* modTime), AP_TRY(APPointFeature), AP_QUIET, CopyOutPair(file, measurement, [&](CString& f, CString& n) { return m->GetFormXmlFileAndMeasurementName(f, n, modTime); }))
AP_METHOD(SetLocOrtXmlFileAndMeasurementName, (unsigned char* file, unsigned char* measurement, LONG modTime), AP_TRY(APPointFeature), AP_QUIET, m->SetLocOrtXmlFileAndMeasurementName(InString(file), InString(measurement), modTime))
AP_METHOD(GetLocOrtXmlFileAndMeasurementName, (unsigned char* file, unsigned char* measurement, LONG* modTime), AP_TRY(APPointFeature), AP_QUIET, CopyOutPair(file, measurement, [&](CString& f, CString& n) { return m->GetLocOrtXmlFileAndMeasurementName(f, n, modTime); }))
AP_METHOD(SetAsScanPoint, (), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetAsScanPoint())
AP_METHOD(IsScanPoint, (int* flag), AP_TRY(APPointFeature), AP_QUIET, m->IsScanPoint(flag))
// IAPPointFeature3
AP_METHOD(ReverseNormal, (), AP_TRY(APPointFeature), AP_QUIET, m->ReverseNormal())
// IAPPointFeature4
AP_METHOD(SetAsFemPoint, (LONG isFem), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetAsFemPoint(isFem))
AP_METHOD(IsFemPoint, (int* flag), AP_TRY(APPointFeature), AP_QUIET, m->IsFemPoint(flag))
AP_METHOD(SetSizeXmlFileMonikerAndMeasurementName, (IORVDataMoniker* pSizeFileMoniker, unsigned char* measurement, LONG modTime), AP_TRY(APPointFeature), AP_QUIET, m->SetSizeXmlFileMonikerAndMeasurementName(pSizeFileMoniker, InString(measurement), modTime))
AP_BUFFER_METHOD(GetSizeXmlFileMonikerAndMeasurementName, (IORVDataMoniker** ppSizeFileMoniker, unsigned char* measurement, LONG* modTime), measurement, AP_TRY(APPointFeature), AP_QUIET, CopyOut(measurement, [&](CString& n) { return m->GetSizeXmlFileMonikerAndMeasurementName(ppSizeFileMoniker, n, modTime); }))
AP_METHOD(SetLocOrtXmlFileMonikerAndMeasurementName, (IORVDataMoniker* pLocFileMoniker, unsigned char* measurement, LONG modTime), AP_TRY(APPointFeature), AP_QUIET, m->SetLocOrtXmlFileMonikerAndMeasurementName(pLocFileMoniker, InString(measurement), modTime))
AP_BUFFER_METHOD(GetLocOrtXmlFileMonikerAndMeasurementName, (IORVDataMoniker** ppLocFileMoniker, unsigned char* measurement, LONG* modTime), measurement, AP_TRY(APPointFeature), AP_QUIET, CopyOut(measurement, [&](CString& n) { return m->GetLocOrtXmlFileMonikerAndMeasurementName(ppLocFileMoniker, n, modTime); }))
AP_METHOD(SetPointSizeDistributionValues2, (double mean, double std, double dSkew, double dKurt, LONG isSpecifyPearson, int numSamples, double* pdVals), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPointSizeDistributionValues2(mean, std, dSkew, dKurt, isSpecifyPearson, numSamples, pdVals))
AP_METHOD(SetPointFormDistributionValues2, (double mean, double std, double dSkew, double dKurt, LONG isSpecifyPearson, int numSamples, double* pdVals), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPointFormDistributionValues2(mean, std, dSkew, dKurt, isSpecifyPearson, numSamples, pdVals))
AP_METHOD(SetPointLocOrtDistributionValues2, (double mean, double std, double dSkew, double dKurt, LONG isSpecifyPearson, int numSamples, double* pdVals), AP_TRY(APPointFeature), AP_NOTIFY(IAPPointFeature), m->SetPointLocOrtDistributionValues2(mean, std, dSkew, dKurt, isSpecifyPearson, numSamples, pdVals))
AP_METHOD(GetPointSizeDistributionValues2, (double* mean, double* std, double* dSkew, double* dKurt, LONG* isSpecifyPearson, int* numSamples, double** ppdVals), AP_TRY(APPointFeature), AP_QUIET, m->GetPointSizeDistributionValues2(mean, std, dSkew, dKurt, isSpecifyPearson, numSamples, ppdVals))
AP_METHOD(GetPointFormDistributionValues2, (double* mean, double* std, double* dSkew, double* dKurt, LONG* isSpecifyPearson, int* numSamples, double** ppdVals), AP_TRY(APPointFeature), AP_QUIET, m->GetPointFormDistributionValues2(mean, std, dSkew, dKurt, isSpecifyPearson, numSamples, ppdVals))
AP_METHOD(GetPointLocOrtDistributionValues2, (double* mean, double* std, double* dSkew, double* dKurt, LONG* isSpecifyPearson, int* numSamples, double** ppdVals), AP_TRY(APPointFeature), AP_QUIET, m->GetPointLocOrtDistributionValues2(mean, std, dSkew, dKurt, isSpecifyPearson, numSamples, ppdVals))
// IAPPointFeature5
AP_METHOD(SetFromGridPoints, (LONG bFlag), AP_TRY(APPointFeature), AP_QUIET, m->SetFromGridPoints(bFlag))
AP_METHOD(GetFromGridPoints, (LONG* pbFlag), AP_TRY(APPointFeature), AP_QUIET, m->GetFromGridPoints(pbFlag))

// IAPSurfaceFeature
AP_METHOD(DefineSurfaceByPoints, (double* points, int count, double* vectors), AP_TRY(APSurfaceFeature), AP_NOTIFY(IAPSurfaceFeature), m->DefineSurfaceByPoints(points, count, vectors))
AP_METHOD(GetSurfaceFeaturePartBoundaryPoints, (int samples, double* points, double* normals, int* count), AP_TRY(APSurfaceFeature), AP_QUIET, m->GetPartBoundaryPoints(samples, points, normals, count))
AP_METHOD(GetSurfaceFeatureNumBoundaryEdges, (int* count), AP_TRY(APSurfaceFeature), AP_QUIET, m->GetNumBoundaryEdges(count))
// IAPSurfaceFeature1
AP_METHOD(GetSurfaceFeatureNumGeometryParts, (int* count), AP_TRY(APSurfaceFeature), AP_QUIET, m->GetNumGeometryParts(count))
AP_METHOD(GetSurfaceFeatureBoundaryPoints, (int parts, int samples, double* points, double* normals, int* count), AP_TRY(APSurfaceFeature), AP_QUIET, m->GetBoundaryPoints(parts, samples, points, normals, count))
AP_METHOD(GetSurfaceFeatureNumPartBoundaryEdges, (int part, int* count), AP_TRY(APSurfaceFeature), AP_QUIET, m->GetNumPartBoundaryEdges(part, count))

// IAPPatternFeature
AP_METHOD(SetPatternFeatureType, (APFeatureType type), AP_TRY(APPatternFeature), AP_QUIET, m->SetPatternFeatureType(type))
AP_METHOD(GetPatternFeatureType, (APFeatureType* type), AP_TRY(APPatternFeature), AP_QUIET, m->GetPatternFeatureType(type))
