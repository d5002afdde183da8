// IAPElement rows of the element stream: the byte pointer is the document's element-stream
// writer (Serialize) or reader (Deserialize), a WmObjectStream, passed through to the model.
AP_METHOD(Serialize, (unsigned char* writeStream), AP_ANY, AP_QUIET,
          m->Serialize(reinterpret_cast<WmObjectStream*>(writeStream)))
AP_METHOD(Deserialize, (unsigned char* readStream), AP_ANY, AP_QUIET,
          m->Deserialize(reinterpret_cast<WmObjectStream*>(readStream)))
