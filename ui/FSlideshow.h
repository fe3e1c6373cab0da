#pragma once
// The full-screen slide show over the pictures of the picture list page.
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>

#include <cstdint>
#include <string>
#include <vector>

class TOptionen;
class PictureImage;

enum class TDirection { Forward, Back };

class TFrmSlideshow : public Fl_Double_Window {
  public:
    explicit TFrmSlideshow(const TOptionen& optionen);

    Fl_Box* frError;
    PictureImage* Bild;
    // Borrowed from the caller for the length of one show.
    const std::vector<std::string>* PictureList = nullptr;
    // The picture the next forward step shows; the one on screen is before it.
    std::int32_t NextIndex = 0;

    void FormCreate();
    // Steps (back: to the picture before the one on screen) and loads.
    void ShowPicture(TDirection direction);
    // Index of the picture on screen.
    int ShownIndex() const;
    void BildClick();
    // The show's keys; the caller consumes every key, known or not.
    void FormKeyDown(int key);
    int handle(int event) override;

  protected:
    void draw() override;

  private:
    const TOptionen& optionen_;
};

// Shows the pictures from index on, modally; afterwards index is the picture
// that was on screen. An empty list or an index outside it shows nothing.
void RunSlideshow(const TOptionen& optionen, const std::vector<std::string>& pictureList, int& index);
